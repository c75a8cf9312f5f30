// SPDX-License-Identifier: MIT WITH fmt-exception
// brantle's NEON copy of its encoder, the one file of the program built for
// NEON (-mfpu=neon on 32-bit ARM): clang takes NEON intrinsics only in a file
// built for it, not in one function marked for it. On 32-bit ARM brantle
// calls it only where the kernel reports NEON; 64-bit ARM always has it. It
// uses no inline function of a C++ header: the linker keeps one copy of
// each, and the one built here could run on a board without NEON.
#include <arm_neon.h>
#include <cstddef>

namespace {

// the digit of each half byte n, as in brantle.cpp
uint8x16_t digits(uint8x16_t n) {
    uint8x16_t letters = vandq_u8(vcgtq_u8(n, vdupq_n_u8(9)), vdupq_n_u8('a' - 10 - '0'));
    return vaddq_u8(vaddq_u8(n, vdupq_n_u8('0')), letters);
}

}  // namespace

std::size_t encode_neon(const unsigned char* in, std::size_t count, char* out) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        uint8x16_t bytes = vld1q_u8(in + i);
        uint8x16x2_t pairs;
        pairs.val[0] = digits(vshrq_n_u8(bytes, 4));
        pairs.val[1] = digits(vandq_u8(bytes, vdupq_n_u8(0xF)));
        // stored interleaved: high, low, high, low...
        vst2q_u8(reinterpret_cast<unsigned char*>(out + 2 * i), pairs);
    }
    return i;
}
