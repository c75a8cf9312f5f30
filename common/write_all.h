// SPDX-License-Identifier: MIT
// Writing a whole buffer to a descriptor, however the kernel splits it.
#pragma once
#include <cerrno>
#include <cstddef>
#include <unistd.h>

// Writes the size bytes at buf to fd, again after each short write and each
// write interrupted by a signal. Returns true once all of them are written;
// false when a write fails otherwise, with errno telling why, and then an
// unknown part of them may have been written.
[[nodiscard]] inline bool write_all(int fd, const char* buf, std::size_t size) {
    while (size > 0) {
        ssize_t w = write(fd, buf, size);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        buf += w;
        size -= static_cast<std::size_t>(w);
    }
    return true;
}
