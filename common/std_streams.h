// Standard output and standard error, kept apart from the devices and files
// that a program opens.
#pragma once
#include <fcntl.h>
#include <unistd.h>

// Call first in main, before anything is opened. A program started with
// descriptor 1 or 2 closed (">&-", a start-up script that detaches) would
// otherwise get its device or file as that descriptor, and everything it
// prints would go to the device: a register write, a serial line, /dev/mem.
// Each of the two that is closed is opened on /dev/null. Descriptor 0 is left
// as it is, closed or not, since the programs never read it.
//
// Returns 0 when both are open. Returns -1 when one was closed and /dev/null
// does not open; it is then still closed, and the program must open nothing.
[[nodiscard]] inline int std_streams_reserve() {
    for (int target = STDOUT_FILENO; target <= STDERR_FILENO; ++target) {
        if (fcntl(target, F_GETFD) != -1) continue;
        int fd = open("/dev/null", O_WRONLY);
        if (fd < 0) return -1;
        // with descriptor 0 closed too, /dev/null lands there: move it, so
        // that descriptor 0 stays closed
        if (fd != target) {
            int moved = dup2(fd, target);
            close(fd);
            if (moved != target) return -1;
        }
    }
    return 0;
}
