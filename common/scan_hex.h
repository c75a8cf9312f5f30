// SPDX-License-Identifier: MIT WITH fmt-exception
// The hexadecimal numbers of the hardware tools' command lines, read as the
// scanf conversion "%x" reads them.
#pragma once
#include <cctype>
#include <cstdint>

// Reads the number at the start of text: leading white space, one optional
// sign, an optional 0x or 0X prefix, then hexadecimal digits in either case up
// to the first other character, which ends the number ("1fzz" gives 0x1f). A
// minus sign negates modulo 2 to the 32nd ("-1" gives 0xffffffff).
//
// Returns true and stores the number in *out; returns false, leaving *out
// untouched, when the text holds no digit after the blanks and the sign, or
// when the digits need more than 32 bits, where "%x" would give a value that
// differs between the host and the board.
//
// Whenever the number fits 32 bits it agrees with glibc's sscanf(text, "%x"):
// a refusal where sscanf matches nothing, the same value where it matches. A
// prefix with no digit after it ("0x", "0xg") is the number 0 followed by an
// "x", as glibc reads it; musl's sscanf matches nothing there.
inline bool scan_hex32(const char* text, std::uint32_t* out) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit(p[2]) >= 0) p += 2;
    if (digit(*p) < 0) return false;
    std::uint64_t v = 0;
    for (; digit(*p) >= 0; ++p) {
        v = v * 16 + static_cast<unsigned>(digit(*p));
        if (v > 0xFFFFFFFFu) return false;
    }
    *out = static_cast<std::uint32_t>(negative ? (1ull << 32) - v : v);
    return true;
}
