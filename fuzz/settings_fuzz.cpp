// SPDX-License-Identifier: MIT WITH fmt-exception
// settings_load and its lookups against a plain model of the loader: the
// input is the settings file. Every entry's first-match value is compared,
// and the numeric lookups against the text lookup.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_check.h"
#include <boardutil/settings_store.h>

namespace {

constexpr int kModelEntries = 40;  // the model checks this many entries a run
constexpr size_t kRead = SETTINGS_LINE_AREA - 1;

struct Entry {
    char key[SETTINGS_SLOT_SIZE];
    char value[SETTINGS_SLOT_SIZE];
};
Entry g_model[kModelEntries];
char g_path[64];
int g_fd = -1;

bool write_input(const uint8_t* data, size_t size) {
    if (g_fd < 0) {
        // a file in memory: no disk journal to pay on every run
        g_fd = memfd_create("settings-fuzz", 0);
        if (g_fd < 0) return false;
        std::snprintf(g_path, sizeof g_path, "/proc/self/fd/%d", g_fd);
    }
    return ftruncate(g_fd, 0) == 0 && pwrite(g_fd, data, size, 0) == static_cast<ssize_t>(size);
}

// One line the way the loader reads it: key text, packed value, entry or not.
bool model_line(const char* line, size_t length, Entry* e) {
    std::memset(e, 0, sizeof *e);
    size_t k = 0, v = 0;
    bool key_open = true, equals = false, comment = false;
    for (size_t i = 0; i < length && line[i] != '\n'; ++i) {
        char c = line[i];
        if (c == ' ' || c == '#' || c == '=' || c == '\0') key_open = false;
        if (c == '#') comment = true;
        if (c == '=') {
            equals = true;
            continue;
        }
        if (key_open) e->key[k++] = c;
        else if (equals && !comment && c != ' ') e->value[v++] = c;
    }
    return equals;
}

// Fills the model; returns the number of entries the loader must give.
int model_load(const char* data, size_t size) {
    int entries = 0;
    size_t at = 0;
    while (at < size && entries < SETTINGS_MAX_ENTRIES) {
        const void* nl = std::memchr(data + at, '\n', size - at);
        size_t line_end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - data) + 1 : size;
        size_t length = line_end - at < kRead ? line_end - at : kRead;
        Entry scratch;
        Entry* e = entries < kModelEntries ? &g_model[entries] : &scratch;
        if (model_line(data + at, length, e)) ++entries;
        at = line_end;
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!write_input(data, size)) return 0;
    int loaded = settings_load(g_path);
    int expected = model_load(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(loaded == expected);

    int checked = expected < kModelEntries ? expected : kModelEntries;
    for (int i = 0; i < checked; ++i) {
        const char* key = g_model[i].key;
        // the first entry with this key is the one every lookup gives
        int first = i;
        for (int j = 0; j < i; ++j)
            if (std::strcmp(g_model[j].key, key) == 0) {
                first = j;
                break;
            }
        char want[SETTINGS_SLOT_SIZE];
        std::memcpy(want, g_model[first].value, sizeof want);
        size_t n = std::strlen(want);
        if (n > 0 && (want[n - 1] == '\r' || want[n - 1] == '\n')) want[n - 1] = '\0';
        FUZZ_CHECK(std::strcmp(settings_get_text(key), want) == 0);

        int as_int = 12345;
        long as_long = 12345;
        FUZZ_CHECK(settings_read_int(key, &as_int) == 0);
        FUZZ_CHECK(settings_read_long(key, &as_long) == 0);
        FUZZ_CHECK(as_int == settings_get_int(key));
        FUZZ_CHECK(as_long == settings_get_long(key));
        FUZZ_CHECK(as_long >= INT32_MIN && as_long <= INT32_MAX && as_long == as_int);
    }

    // a key no entry can have: it holds '='
    int missing = 12345;
    FUZZ_CHECK(settings_read_int("no=key", &missing) == -1 && missing == 0);
    FUZZ_CHECK(settings_get_text("no=key")[0] == '\0');
    return 0;
}
