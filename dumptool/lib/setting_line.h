/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* Single-line setting parser: tells whether one key = value line held in
 * memory sets a wanted key, and hands back its value trimmed of spaces.
 * Usable from C and C++. Single-threaded use only; nothing is printed.
 *
 * Its rules are not those of the settings file store: '#' cuts the line
 * first, only the first '=' splits it, and only spaces (0x20) at the ends of
 * the key and the value are removed; tabs and inner spaces stay. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SETTING_LINE_SIZE = 256,  /* the line is cut to 255 characters, '\n' and '\r' left out */
    SETTING_KEY_SIZE = 64,  /* the text before the first '=' is cut to 63 characters */
    SETTING_PART_SIZE = 192,  /* the text after it is cut to 191 characters */
    SETTING_VALUE_SIZE = 128  /* a trimmed text holds at most 127 characters */
};

/* Returns 0 when line sets key: value (SETTING_VALUE_SIZE bytes suffice)
 * then holds the trimmed value. Returns -1 when it does not, and value is
 * left untouched. The key part is compared after trimming, byte for byte,
 * so a line without '=' matches only the empty key. line is never changed. */
int setting_line_parse(const char* line, const char* key, char* value);

/* text without its leading and trailing spaces, cut to 127 characters after
 * the leading spaces are skipped. The text lies in a process-wide area that
 * the next call overwrites, including the calls of setting_line_parse.
 * Never NULL. */
const char* setting_line_trim(const char* text);

#ifdef __cplusplus
}
#endif
