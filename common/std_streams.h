// SPDX-License-Identifier: MIT
// Standard input, output and error, kept apart from the devices and files
// that a program opens.
#pragma once
#include <fcntl.h>
#include <unistd.h>

// Call first in main, before anything is opened. A program started with
// descriptor 0, 1 or 2 closed ("<&-", ">&-", a start-up script that
// detaches) would otherwise get its device or file as that descriptor:
// everything it prints would go to the device (a register write, a serial
// line, /dev/mem), and a device opened as descriptor 0 looks like a failed
// open to a caller that takes 0 for one. Each of the three that is closed is
// opened on /dev/null, standard input for reading. They are taken in order,
// so the lowest free descriptor is always the one being filled.
//
// Returns 0 when all three are open. Returns -1 when one was closed and
// /dev/null does not open; it is then still closed, and the program must
// open nothing.
[[nodiscard]] inline int std_streams_reserve() {
    for (int target = STDIN_FILENO; target <= STDERR_FILENO; ++target) {
        if (fcntl(target, F_GETFD) != -1) continue;
        if (open("/dev/null", target == STDIN_FILENO ? O_RDONLY : O_WRONLY) < 0) return -1;
    }
    return 0;
}
