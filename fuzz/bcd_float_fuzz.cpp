// SPDX-License-Identifier: MIT WITH fmt-exception
// bcd_to_decimal against the digits that printf shows, and the float checks
// against the standard classification. The input is the word, the float and
// the double, as raw bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz_check.h"
#include <boardutil/radix.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t bytes[16] = {};
    std::memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);

    int32_t word;
    std::memcpy(&word, bytes, sizeof word);
    int expected = -1;
    if (word >= 0 && word <= 0xFFFF) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(word));
        bool decimal = true;
        for (int i = 0; i < 4; ++i) decimal = decimal && hex[i] >= '0' && hex[i] <= '9';
        if (decimal) expected = (hex[0] - '0') * 1000 + (hex[1] - '0') * 100 + (hex[2] - '0') * 10 + (hex[3] - '0');
    }
    FUZZ_CHECK(bcd_to_decimal(word) == expected);

    float f;
    std::memcpy(&f, bytes + 4, sizeof f);
    FUZZ_CHECK(float_check(f) == (std::fpclassify(f) == FP_NORMAL || std::fpclassify(f) == FP_ZERO ? 0 : -1));
    double d;
    std::memcpy(&d, bytes + 8, sizeof d);
    FUZZ_CHECK(double_check(d) == (std::fpclassify(d) == FP_NORMAL || std::fpclassify(d) == FP_ZERO ? 0 : -1));
    return 0;
}
