// SPDX-License-Identifier: MIT
#include "board_number.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

long boardutil_atol(const char* text) {
    // atol reports nothing, so the caller's errno stays as it was
    int saved = errno;
    long long value = std::strtoll(text, nullptr, 10);
    errno = saved;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<long>(value);
}
