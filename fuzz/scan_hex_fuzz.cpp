// SPDX-License-Identifier: MIT WITH fmt-exception
// scan_hex32 against the C library's sscanf("%x") as the model (glibc: the
// fuzz targets and their replay use the test tools' C library). Where the
// number fits 32 bits both must match alike and give the same value; where
// it needs more, the reader must refuse it and store nothing.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.h"
#include "scan_hex.h"

namespace {

constexpr size_t kMaxText = 64;
constexpr std::uint32_t kUntouched = 0xDEADBEEF;

// Whether the text's number needs more than 32 bits: the digits after the
// blanks and the sign, read by strtoull as "%x" reads them.
bool needs_over_32_bits(const char* text) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p == '-' || *p == '+') ++p;
    // strtoull would take a second sign or more blanks; "%x" takes no number
    if (*p == '-' || *p == '+' || std::isspace(static_cast<unsigned char>(*p))) return false;
    errno = 0;
    unsigned long long v = std::strtoull(p, nullptr, 16);
    return errno == ERANGE || v > 0xFFFFFFFFull;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxText) return 0;
    char text[kMaxText + 1] = {};
    if (size > 0) std::memcpy(text, data, size);  // data may be null when empty

    std::uint32_t mine = kUntouched;
    bool read = scan_hex32(text, &mine);
    if (needs_over_32_bits(text)) {
        FUZZ_CHECK(!read && mine == kUntouched);
        return 0;
    }
    unsigned theirs = kUntouched;
    int matched = std::sscanf(text, "%x", &theirs);
    FUZZ_CHECK(read == (matched == 1));
    FUZZ_CHECK(mine == (read ? theirs : kUntouched));
    return 0;
}
