// SPDX-License-Identifier: MIT WITH fmt-exception
#include "radix.h"

#include <limits.h>
#include <stdbool.h>
#include <stdint.h>
#include <string.h>

static const char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ&/+%";
enum { kDigitArea = 100 };  // a non-negative int needs at most 31

static bool radix_ok(int radix) { return radix >= RADIX_MIN && radix <= RADIX_MAX; }

// The value of symbol c in radix, or -1 when it is not one of its digits.
static int digit_value(int radix, char c) {
    for (int i = 0; i < radix; ++i)
        if (kAlphabet[i] == c) return i;
    return -1;
}

int radix_format(int radix, char* out, const int* value) {
    int v = *value;
    if (!radix_ok(radix) || v < 0) return -1;
    int digits[kDigitArea];
    int count = 0;
    for (;;) {
        if (v < radix) {
            digits[count++] = v;
            break;
        }
        digits[count++] = v % radix;
        v /= radix;
    }
    for (int i = 0; i < count; ++i) out[i] = kAlphabet[digits[count - 1 - i]];
    out[count] = '\0';
    return 0;
}

// The sum of digit times radix to the power of its place, as the digit
// string defines it, formed by multiplying out so that it stays exact and
// can be checked against the int range at every step.
int radix_parse(int radix, const char* text, int* value) {
    if (!radix_ok(radix)) return -1;
    int64_t total = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        int digit = digit_value(radix, *p);
        if (digit < 0) return -1;
        total = total * radix + digit;
        if (total > INT_MAX) return -1;
    }
    *value = (int)total;
    return 0;
}

int radix_convert(int from, const char* text, int to, char* out) {
    int value = 0;
    int result = radix_parse(from, text, &value);
    if (result < 0) return result;
    return radix_format(to, out, &value);
}

int bcd_to_decimal(int word) {
    if (word < 0) return -1;
    int thousands = word / 4096, hundreds = word % 4096 / 256, tens = word % 256 / 16, units = word % 16;
    if (thousands > 9 || hundreds > 9 || tens > 9 || units > 9) return -1;
    return thousands * 1000 + hundreds * 100 + tens * 10 + units;
}

int float_check(float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    uint32_t exponent = bits >> 23 & 0xFFu, fraction = bits & 0x7FFFFFu;
    if (exponent == 0xFFu || (exponent == 0 && fraction != 0)) return -1;
    return 0;
}

int double_check(double value) {
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    uint64_t exponent = bits >> 52 & 0x7FFu, fraction = bits & 0xFFFFFFFFFFFFFull;
    if (exponent == 0x7FFu || (exponent == 0 && fraction != 0)) return -1;
    return 0;
}
