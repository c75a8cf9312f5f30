// SPDX-License-Identifier: MIT WITH fmt-exception
#include "settings_store.h"

#include <stdbool.h>
#include <stdio.h>
#include <string.h>

#include "board_number.h"

enum {
    kSlots = SETTINGS_MAX_ENTRIES,
    kSlotSize = SETTINGS_SLOT_SIZE,
    kLineArea = SETTINGS_LINE_AREA
};

static char g_keys[kSlots][kSlotSize];
static char g_values[kSlots][kSlotSize];
static int g_entry_count = 0;
static char g_setting_text[kSlotSize];

typedef enum { kLine, kEnd, kError } LineRead;

// Reads one line the way fgets into the line area would: up to and with its
// '\n', at most kLineArea - 1 characters. *length gets the count read, which
// counts zero bytes too. A longer line is read on to its end and the rest is
// dropped, so it never turns into lines of its own.
static LineRead read_line(FILE* f, char* line, int* length) {
    int n = 0;
    int c = 0;
    while (n < kLineArea - 1 && (c = getc(f)) != EOF) {
        line[n++] = (char)c;
        if (c == '\n') break;
    }
    if (n == kLineArea - 1 && line[n - 1] != '\n')
        while ((c = getc(f)) != EOF && c != '\n') {
        }
    *length = n;
    if (ferror(f)) return kError;
    return n > 0 ? kLine : kEnd;
}

// Stores one line into the slots; returns whether the line is an entry.
static bool scan_line(const char* line, int length, char* key, char* value) {
    bool comment = false, equals = false;
    int value_length = 0;
    // a line holds at most kSlotSize - 1 characters, so no column or value
    // length reaches the last byte of a slot, which stays zero
    for (int column = 0; column < length && line[column] != '\n'; ++column) {
        char c = line[column];
        if (c == '#') comment = true;
        else if (c == '=') equals = true;
        else if (c == ' ' || comment) continue;
        else if (!equals) key[column] = c;
        else value[value_length++] = c;
    }
    return equals;
}

// The slot of the first entry whose key text is key, or -1.
static int find_entry(const char* key) {
    size_t length = strlen(key);
    for (int i = 0; i < g_entry_count; ++i)
        if (strnlen(g_keys[i], kSlotSize) == length && memcmp(g_keys[i], key, length) == 0) return i;
    return -1;
}

// Copies the value of key into area (kSlotSize bytes, cleared first); returns
// whether the key was found.
static bool copy_value(const char* key, char* area) {
    memset(area, 0, kSlotSize);
    int slot = find_entry(key);
    if (slot < 0) return false;
    memcpy(area, g_values[slot], kSlotSize);
    return true;
}

int settings_load(const char* path) {
    memset(g_keys, 0, sizeof g_keys);
    memset(g_values, 0, sizeof g_values);
    g_entry_count = 0;
    FILE* f = fopen(path, "r");
    if (!f) {
        g_entry_count = -1;
        return -1;
    }
    char line[kLineArea];
    int slot = 0, length = 0;
    LineRead read = kEnd;
    while (slot < kSlots && (read = read_line(f, line, &length)) == kLine) {
        memset(g_keys[slot], 0, kSlotSize);
        memset(g_values[slot], 0, kSlotSize);
        if (scan_line(line, length, g_keys[slot], g_values[slot])) ++slot;
    }
    fclose(f);
    if (read == kError) {
        // a directory, or a file that fails midway: no half-loaded table
        memset(g_keys, 0, sizeof g_keys);
        memset(g_values, 0, sizeof g_values);
        g_entry_count = -1;
        return -1;
    }
    g_entry_count = slot;
    return slot;
}

const char* settings_get_text(const char* key) {
    copy_value(key, g_setting_text);
    size_t length = strlen(g_setting_text);
    if (length > 0 && (g_setting_text[length - 1] == '\r' || g_setting_text[length - 1] == '\n'))
        g_setting_text[length - 1] = '\0';
    return g_setting_text;
}

int settings_get_int(const char* key) {
    char area[kSlotSize];
    copy_value(key, area);
    return (int)boardutil_atol(area);
}

long settings_get_long(const char* key) {
    char area[kSlotSize];
    copy_value(key, area);
    return boardutil_atol(area);
}

int settings_read_int(const char* key, int* value) {
    char area[kSlotSize];
    bool found = copy_value(key, area);
    *value = (int)boardutil_atol(area);
    return found ? 0 : -1;
}

int settings_read_long(const char* key, long* value) {
    char area[kSlotSize];
    bool found = copy_value(key, area);
    *value = boardutil_atol(area);
    return found ? 0 : -1;
}
