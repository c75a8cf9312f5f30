// SPDX-License-Identifier: MIT WITH fmt-exception
#include "setting_line.h"

#include <string.h>

enum {
    kLineCopy = SETTING_LINE_SIZE,
    kKeyPart = SETTING_KEY_SIZE,
    kValuePart = SETTING_PART_SIZE,
    kTrimArea = SETTING_VALUE_SIZE
};

static char g_trim_area[kTrimArea];

// Copies at most size - 1 bytes of text (length bytes long) into area, which
// is zero already: longer input is cut to the area.
static void copy_cut(char* area, int size, const char* text, size_t length) {
    size_t room = (size_t)size - 1;
    memcpy(area, text, length < room ? length : room);
}

const char* setting_line_trim(const char* text) {
    while (*text == ' ') ++text;
    memset(g_trim_area, 0, sizeof g_trim_area);
    size_t length = strnlen(text, kTrimArea - 1);
    memcpy(g_trim_area, text, length);
    while (length > 0 && g_trim_area[length - 1] == ' ') g_trim_area[--length] = '\0';
    return g_trim_area;
}

int setting_line_parse(const char* line, const char* key, char* value) {
    char copy[kLineCopy];
    int n = 0;
    for (const char* p = line; *p != '\0' && n < kLineCopy - 1; ++p)
        if (*p != '\n' && *p != '\r') copy[n++] = *p;
    copy[n] = '\0';
    char* hash = strchr(copy, '#');
    if (hash) *hash = '\0';

    char key_part[kKeyPart] = {0};
    char value_part[kValuePart] = {0};
    const char* equals = strchr(copy, '=');
    if (equals) {
        copy_cut(key_part, kKeyPart, copy, (size_t)(equals - copy));
        copy_cut(value_part, kValuePart, equals + 1, strlen(equals + 1));
    }
    if (strcmp(setting_line_trim(key_part), key) != 0) return -1;
    const char* trimmed = setting_line_trim(value_part);
    memcpy(value, trimmed, strlen(trimmed) + 1);
    return 0;
}
