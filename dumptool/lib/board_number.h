// SPDX-License-Identifier: MIT
// Decimal text read as the board's atoi and atol read it (internal to the
// library).
#pragma once

namespace boardutil {

// The board's long is 32 bits, so its strtol, and atoi and atol with it,
// stop at the 32-bit range. Leading white space and a sign are taken,
// reading stops at the first non-digit, no number gives 0.
long board_atol(const char* text);

}  // namespace boardutil
