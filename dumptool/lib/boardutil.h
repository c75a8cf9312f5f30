/* The utility library of the board's programs: settings files, single
 * setting lines, radix and BCD conversion, floating-point checks and
 * file-system queries. Link with -lboardutil. */
#pragma once

#include "fs_query.h"
#include "radix.h"
#include "setting_line.h"
#include "settings_store.h"
