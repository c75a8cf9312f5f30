/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* Decimal text read as atoi and atol read it, clamped to 32 bits (internal to
 * the library). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* The board's int and long are 32 bits. A number beyond that range gives its
 * nearest end on every build; past it the C libraries' own atoi and atol
 * differ (musl's wraps). Leading white space and a sign are taken, reading
 * stops at the first non-digit, no number gives 0. */
long boardutil_atol(const char* text);

#ifdef __cplusplus
}
#endif
