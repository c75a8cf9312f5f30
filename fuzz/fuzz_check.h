// SPDX-License-Identifier: MIT WITH fmt-exception
// What the fuzz targets share: a failed check is a finding, reported by
// aborting, which libFuzzer and the corpus replay both catch.
#pragma once
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)
