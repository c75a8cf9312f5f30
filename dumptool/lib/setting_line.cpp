// SPDX-License-Identifier: MIT
#include "setting_line.h"

#include <cstring>

namespace {

constexpr int kLineCopy = SETTING_LINE_SIZE;
constexpr int kKeyPart = SETTING_KEY_SIZE;
constexpr int kValuePart = SETTING_PART_SIZE;
constexpr int kTrimArea = SETTING_VALUE_SIZE;

char g_trim_area[kTrimArea];

// Copies at most size - 1 bytes of text (length bytes long) into area, which
// is zero already: longer input is cut to the area.
void copy_cut(char* area, int size, const char* text, size_t length) {
    size_t room = static_cast<size_t>(size) - 1;
    std::memcpy(area, text, length < room ? length : room);
}

}  // namespace

const char* setting_line_trim(const char* text) {
    while (*text == ' ') ++text;
    std::memset(g_trim_area, 0, sizeof g_trim_area);
    size_t length = strnlen(text, kTrimArea - 1);
    std::memcpy(g_trim_area, text, length);
    while (length > 0 && g_trim_area[length - 1] == ' ') g_trim_area[--length] = '\0';
    return g_trim_area;
}

int setting_line_parse(const char* line, const char* key, char* value) {
    char copy[kLineCopy];
    int n = 0;
    for (const char* p = line; *p != '\0' && n < kLineCopy - 1; ++p)
        if (*p != '\n' && *p != '\r') copy[n++] = *p;
    copy[n] = '\0';
    if (char* hash = std::strchr(copy, '#')) *hash = '\0';

    char key_part[kKeyPart] = {};
    char value_part[kValuePart] = {};
    if (const char* equals = std::strchr(copy, '=')) {
        copy_cut(key_part, kKeyPart, copy, static_cast<size_t>(equals - copy));
        copy_cut(value_part, kValuePart, equals + 1, std::strlen(equals + 1));
    }
    if (std::strcmp(setting_line_trim(key_part), key) != 0) return -1;
    const char* trimmed = setting_line_trim(value_part);
    std::memcpy(value, trimmed, std::strlen(trimmed) + 1);
    return 0;
}
