/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* Settings file store: loads one file of key=value lines into a fixed,
 * process-wide table and answers lookups by key, as text or as a number.
 * Usable from C and C++. Single-threaded use only; nothing is printed.
 *
 * The loader's reading of a line: '#' starts a comment (never stored); any
 * '=', even in a comment, makes the line an entry; the space (0x20) is
 * dropped wherever it stands, every other byte is stored. The key text is the
 * line from its first column up to the first space, '#' or '='; the value is
 * what follows the first '=' with the spaces, further '=' and the comment
 * left out. Lines without '=' take no slot. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SETTINGS_MAX_ENTRIES = 1024,  /* slots of the table */
    SETTINGS_SLOT_SIZE = 2048,  /* bytes of each key and each value slot */
    SETTINGS_LINE_AREA = 2048  /* one read takes at most 2047 characters */
};

/* Clears the whole table (4 MiB), then loads path. Returns the number of
 * entries (0 to SETTINGS_MAX_ENTRIES; later entry lines are ignored), or -1
 * when the file cannot be opened or a read fails, and the table then stays
 * empty for every lookup. Lookups see the entries of the latest load only.
 * A final line without '\n' is read as a line; of a line longer than 2047
 * characters only the first 2047 are scanned and the rest is skipped. */
int settings_load(const char* path);

/* The value of the first entry whose key text is key, without one trailing
 * '\r' or '\n'; empty text when there is none. The text lies in a
 * process-wide area that the next call overwrites. Never NULL. */
const char* settings_get_text(const char* key);

/* The value read as a decimal number: leading white space and a sign are
 * taken, reading stops at the first non-digit, no number gives 0, and a
 * number beyond the board's 32-bit int and long is clamped to its nearest
 * end, INT32_MAX or INT32_MIN, on every build (where the C libraries' own
 * atoi and atol differ: musl's wraps). 0 when the key is absent. */
int settings_get_int(const char* key);
long settings_get_long(const char* key);

/* Store the value read as above (0 when the key is absent) through value,
 * and return 0 when the key was found, -1 when it was not. */
int settings_read_int(const char* key, int* value);
int settings_read_long(const char* key, long* value);

#ifdef __cplusplus
}
#endif
