// SPDX-License-Identifier: MIT WITH fmt-exception
#include "board_number.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

long boardutil_atol(const char* text) {
    // atol reports nothing, so the caller's errno stays as it was
    int saved = errno;
    long long value = strtoll(text, NULL, 10);
    errno = saved;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (long)value;
}
