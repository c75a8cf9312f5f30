/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* Radix, BCD and floating-point checks. Usable from C and C++. No state, no
 * output.
 *
 * Digit strings use the 40 symbols "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ&/+%"
 * (upper case only); in radix r the first r symbols are the digits. They have
 * no sign and no prefix, most significant digit first. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum {
    RADIX_MIN = 2,
    RADIX_MAX = 40,
    RADIX_TEXT_SIZE = 32  /* any int in any radix, with the terminating zero */
};

/* Writes the digit string of *value (no leading zeros; 0 is "0") into out,
 * which must hold RADIX_TEXT_SIZE bytes, and returns 0. Returns -1 and writes
 * nothing when radix is outside RADIX_MIN to RADIX_MAX or *value is negative. */
int radix_format(int radix, char* out, const int* value);

/* Reads the digit string text (leading zeros allowed; empty text is 0) and
 * stores its value through value, returning 0. Returns -1 and leaves *value
 * untouched when radix is outside RADIX_MIN to RADIX_MAX, when a character is
 * not one of the first radix symbols, or when the value exceeds INT_MAX. */
int radix_parse(int radix, const char* text, int* value);

/* Writes the digit string of text (radix from) in radix to into out
 * (RADIX_TEXT_SIZE bytes) and returns 0. Returns -1 and leaves out untouched
 * when radix_parse refuses text or to is outside RADIX_MIN to RADIX_MAX. */
int radix_convert(int from, const char* text, int to, char* out);

/* The decimal value 0 to 9999 of a four-digit packed BCD word (thousands in
 * bits 15 to 12). Returns -1 when a digit is above 9, for every value above
 * 16 bits, and for a negative word. */
int bcd_to_decimal(int word);

/* Return 0 for a zero (either sign) or a normal number, -1 for a subnormal
 * number, an infinity or a NaN. They look at the bit pattern only. */
int float_check(float value);
int double_check(double value);

#ifdef __cplusplus
}
#endif
