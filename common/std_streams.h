// SPDX-License-Identifier: MIT
// Standard input, output and error, kept apart from the devices and files
// that a program opens.
#pragma once
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace std_streams_detail {

constexpr char kNull[] = "/dev/null";
constexpr char kRefusal[] = "%s: standard output is closed and /dev/null cannot be opened: %s\n";
constexpr int kRefusalArea = 256;

inline bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Opens /dev/null as the closed descriptor target. While standard input
// stays closed, open gives 0 instead, so the descriptor is moved. Returns
// false, with errno telling why, when it cannot be done.
inline bool open_null_as(int target, int flags) {
    int fd = open(kNull, flags);
    if (fd < 0 || fd == target) return fd == target;
    bool moved = dup2(fd, target) == target;
    int reason = errno;
    close(fd);
    errno = reason;
    return moved;
}

// One write, so that the line stays whole among other processes' lines.
inline void say_refused(const char* program, int reason) {
    char line[kRefusalArea];
    int length = std::snprintf(line, sizeof line, kRefusal, program, std::strerror(reason));
    if (length <= 0) return;
    size_t size = length < kRefusalArea ? static_cast<size_t>(length) : sizeof line - 1;
    ssize_t written = write(STDERR_FILENO, line, size);
    (void)written;  // the status says it as well
}

}  // namespace std_streams_detail

// Call first in main, before anything is opened or printed; program is the
// name that starts the refusal line. A program started with a standard
// descriptor closed ("<&-", ">&-", a start-up script that detaches) would
// otherwise get its device or file as that descriptor: what it prints as
// output or error would go to the device (a register write, a serial line,
// /dev/mem). Each of the three that is closed is opened on /dev/null,
// standard input for reading, the others for writing.
//
// Returns 0 when standard output and standard error are open, as given or
// on /dev/null: the program runs. Standard input is open too, except when it
// was closed and /dev/null does not open for reading (an initramfs before
// /dev is mounted, a chroot without /dev): it then stays closed, since no
// program reads it, and the first file or device that the program opens
// becomes descriptor 0, which every open's "< 0" test takes for a success.
//
// Returns -1 when standard output or standard error was closed and /dev/null
// does not open for writing: the program must end at once with a failure
// status, having opened nothing else and printed nothing. For standard output,
// when standard error is open, this has written one line there, in one write:
//   "PROGRAM: standard output is closed and /dev/null cannot be opened: REASON"
// For standard error nothing can be said; the status alone tells.
[[nodiscard]] inline int std_streams_reserve(const char* program) {
    using namespace std_streams_detail;
    if (!is_open(STDIN_FILENO)) (void)open_null_as(STDIN_FILENO, O_RDONLY);
    for (int target = STDOUT_FILENO; target <= STDERR_FILENO; ++target) {
        if (is_open(target) || open_null_as(target, O_WRONLY)) continue;
        int reason = errno;
        if (target == STDOUT_FILENO && is_open(STDERR_FILENO)) say_refused(program, reason);
        return -1;
    }
    return 0;
}
