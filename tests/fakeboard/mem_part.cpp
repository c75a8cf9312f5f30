// SPDX-License-Identifier: MIT WITH fmt-exception
// The board's physical memory "/dev/mem". FAKEBOARD_MEM names its stand-in: a
// sparse file at least as large as the highest address a test uses, so that
// the real mmap maps a page of it at the real offset and the kernel itself
// refuses what it would refuse on the board. The test sets and checks the
// register bytes in the file. The open is logged as "mem open O_..." with the
// program's flags; the device takes no requests.
#include "fakeboard.h"

namespace {

bool mem_ioctl(int, unsigned long, void*, int*) { return false; }

bool mem_opened(int, int flags) {
    board_log_open("mem", flags);
    return true;
}

}  // namespace

extern const DevicePart kMemPart = {"/dev/mem", "FAKEBOARD_MEM", mem_ioctl, mem_opened};
