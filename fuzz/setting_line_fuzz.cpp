// SPDX-License-Identifier: MIT WITH fmt-exception
// setting_line_parse and setting_line_trim against a plain model of their
// rules. The input is the line, a zero byte, and the wanted key.
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include <boardutil/setting_line.h>

namespace {

constexpr size_t kMaxInput = 4096;

// text without leading and trailing spaces, cut to 127 after the leading ones
void model_trim(const char* text, char* out) {
    while (*text == ' ') ++text;
    size_t n = 0;
    while (text[n] != '\0' && n < SETTING_VALUE_SIZE - 1) ++n;
    std::memcpy(out, text, n);
    while (n > 0 && out[n - 1] == ' ') --n;
    out[n] = '\0';
}

// Returns whether line sets key; the value goes to out.
bool model_parse(const char* line, const char* key, char* out) {
    char copy[SETTING_LINE_SIZE] = {};
    size_t n = 0;
    for (; *line != '\0' && n < SETTING_LINE_SIZE - 1; ++line)
        if (*line != '\n' && *line != '\r') copy[n++] = *line;
    char key_part[SETTING_KEY_SIZE] = {}, value_part[SETTING_PART_SIZE] = {};
    size_t cut = 0;
    while (cut < n && copy[cut] != '#') ++cut;
    size_t equals = 0;
    while (equals < cut && copy[equals] != '=') ++equals;
    if (equals < cut) {
        for (size_t i = 0; i < equals && i < SETTING_KEY_SIZE - 1; ++i) key_part[i] = copy[i];
        for (size_t i = equals + 1, j = 0; i < cut && j < SETTING_PART_SIZE - 1; ++i, ++j) value_part[j] = copy[i];
    }
    char trimmed[SETTING_VALUE_SIZE];
    model_trim(key_part, trimmed);
    if (std::strcmp(trimmed, key) != 0) return false;
    model_trim(value_part, out);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    char input[kMaxInput + 2] = {};
    std::memcpy(input, data, size);
    const char* line = input;
    const char* key = input + std::strlen(input) + (std::strlen(input) < size ? 1 : 0);

    char before[SETTING_LINE_SIZE + SETTING_VALUE_SIZE];
    std::memcpy(before, line, std::strlen(line) < sizeof before ? std::strlen(line) + 1 : sizeof before);
    char value[SETTING_VALUE_SIZE + 16];
    std::memset(value, '@', sizeof value);
    char expected[SETTING_VALUE_SIZE];
    bool match = model_parse(line, key, expected);
    int result = setting_line_parse(line, key, value);
    FUZZ_CHECK(result == (match ? 0 : -1));
    if (match) {
        FUZZ_CHECK(std::strcmp(value, expected) == 0);
        // nothing written past the terminating zero
        for (size_t i = std::strlen(value) + 1; i < sizeof value; ++i) FUZZ_CHECK(value[i] == '@');
    } else {
        for (char c : value) FUZZ_CHECK(c == '@');
    }
    FUZZ_CHECK(std::strncmp(before, line, sizeof before - 1) == 0);

    char trimmed[SETTING_VALUE_SIZE];
    model_trim(line, trimmed);
    FUZZ_CHECK(std::strcmp(setting_line_trim(line), trimmed) == 0);
    return 0;
}
