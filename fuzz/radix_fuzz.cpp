// SPDX-License-Identifier: MIT WITH fmt-exception
// radix_parse, radix_format and radix_convert: what parses must format back
// to the same digits, what is refused must change nothing. The input is the
// radix, the target radix and the digit string (radixes out of range too).
#include <climits>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include <boardutil/radix.h>

namespace {

constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ&/+%";
constexpr size_t kMaxText = 256;

int symbol_value(int radix, char c) {
    const char* at = c == '\0' ? nullptr : std::strchr(kAlphabet, c);
    if (!at || at - kAlphabet >= radix) return -1;
    return static_cast<int>(at - kAlphabet);
}

bool radix_ok(int radix) { return radix >= RADIX_MIN && radix <= RADIX_MAX; }

// Whether text is a digit string of radix whose value fits an int.
bool model_fits(int radix, const char* text) {
    if (!radix_ok(radix)) return false;
    uint64_t total = 0;
    for (; *text != '\0'; ++text) {
        int digit = symbol_value(radix, *text);
        if (digit < 0) return false;
        total = total * static_cast<uint64_t>(radix) + static_cast<uint64_t>(digit);
        if (total > INT_MAX) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size - 2 > kMaxText) return 0;
    // most inputs use a radix in range; the rest probe the edges
    int from = static_cast<int8_t>(data[0]);
    int to = static_cast<int8_t>(data[1]);
    char text[kMaxText + 1] = {};
    std::memcpy(text, data + 2, size - 2);

    int value = -12345;
    int parsed = radix_parse(from, text, &value);
    FUZZ_CHECK(parsed == (model_fits(from, text) ? 0 : -1));
    if (parsed == 0) {
        FUZZ_CHECK(value >= 0);
        char digits[RADIX_TEXT_SIZE];
        FUZZ_CHECK(radix_format(from, digits, &value) == 0);
        FUZZ_CHECK(std::strlen(digits) < RADIX_TEXT_SIZE);
        const char* significant = text;
        while (significant[0] == '0' && significant[1] != '\0') ++significant;
        FUZZ_CHECK(text[0] == '\0' ? std::strcmp(digits, "0") == 0 : std::strcmp(digits, significant) == 0);
    } else {
        FUZZ_CHECK(value == -12345);
    }

    char out[RADIX_TEXT_SIZE + 8];
    std::memset(out, '@', sizeof out);
    int converted = radix_convert(from, text, to, out);
    FUZZ_CHECK(converted == (parsed == 0 && radix_ok(to) ? 0 : -1));
    if (converted == 0) {
        int back = -1;
        FUZZ_CHECK(std::strlen(out) < RADIX_TEXT_SIZE);
        FUZZ_CHECK(radix_parse(to, out, &back) == 0 && back == value);
    } else {
        for (char c : out) FUZZ_CHECK(c == '@');
    }

    // the digit string's bytes read as a value, negative ones included
    if (size >= 6) {
        int32_t raw;
        std::memcpy(&raw, data + 2, sizeof raw);
        char digits[RADIX_TEXT_SIZE + 8];
        std::memset(digits, '@', sizeof digits);
        int formatted = radix_format(to, digits, &raw);
        FUZZ_CHECK(formatted == (radix_ok(to) && raw >= 0 ? 0 : -1));
        if (formatted == 0) {
            int back = -1;
            FUZZ_CHECK(radix_parse(to, digits, &back) == 0 && back == raw);
        } else {
            FUZZ_CHECK(digits[0] == '@');
        }
    }
    return 0;
}
