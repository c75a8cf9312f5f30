// SPDX-License-Identifier: MIT WITH fmt-exception
// Writing a whole buffer to a descriptor, however the kernel splits it, and
// a line pieced together to a descriptor in one write.
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

// Joins the count texts in area (size bytes; what does not fit is left out)
// and writes them in a single write, so that the line they make stays whole
// among other processes' lines in a shared log or pipe: an unbuffered stream
// (musl's stderr) writes a formatted line in pieces. Returns what write
// returns.
inline ssize_t write_joined(int fd, const char* const* texts, int count, char* area, std::size_t size) {
    std::size_t length = 0;
    for (int i = 0; i < count; ++i)
        for (const char* c = texts[i]; *c != '\0' && length < size; ++c) area[length++] = *c;
    return write(fd, area, length);
}
