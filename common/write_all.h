// SPDX-License-Identifier: MIT WITH fmt-exception
// Writing a whole buffer to a descriptor, however the kernel splits it, and
// a line pieced together to a descriptor in one write.
#pragma once
#include <cerrno>
#include <cstddef>
#include <poll.h>
#include <unistd.h>

// After a write that failed with errno: true when it is worth trying again,
// once interrupted by a signal or, on a non-blocking descriptor (a
// supervisor's pipe that its reader empties slowly), once fd takes bytes
// again. A slow reader is not a failure; a reader gone or a full disk is.
inline bool write_again(int fd) {
    if (errno == EINTR) return true;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    struct pollfd wanted = {fd, POLLOUT, 0};
    while (poll(&wanted, 1, -1) < 0)
        if (errno != EINTR) return false;
    return true;
}

// Writes the size bytes at buf to fd, again after each short write, each
// write interrupted by a signal and each that would block. Returns true once
// all of them are written; false when a write fails otherwise, with errno
// telling why, and then an unknown part of them may have been written.
[[nodiscard]] inline bool write_all(int fd, const char* buf, std::size_t size) {
    while (size > 0) {
        ssize_t w = write(fd, buf, size);
        if (w < 0) {
            if (write_again(fd)) continue;
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
// (musl's stderr) writes a formatted line in pieces. Returns what the write
// returns, after those that write_again tries again.
inline ssize_t write_joined(int fd, const char* const* texts, int count, char* area, std::size_t size) {
    std::size_t length = 0;
    for (int i = 0; i < count; ++i)
        for (const char* c = texts[i]; *c != '\0' && length < size; ++c) area[length++] = *c;
    ssize_t w;
    while ((w = write(fd, area, length)) < 0 && write_again(fd)) {
    }
    return w;
}
