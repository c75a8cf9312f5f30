// SPDX-License-Identifier: MIT WITH fmt-exception
// Standard input, output and error, kept apart from the devices and files
// that a program opens, a report on standard output that cannot be written
// told as a failure, and one that can be written written whole.
#pragma once
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "write_all.h"

namespace std_streams_detail {

constexpr char kNull[] = "/dev/null";
constexpr char kRefusal[] = ": standard output is closed and /dev/null cannot be opened";
constexpr int kLineArea = 256;
constexpr char kOutputName[] = "stdout";  // the perror prefix of a lost report
inline bool g_loss_said = false;

// What the program prints on standard output, until std_streams_flush writes
// it: stdio drops what it holds where a write fails with EAGAIN.
constexpr std::size_t kOutputArea = 4096;
inline char g_output[kOutputArea] = {};
inline std::size_t g_output_length = 0;
inline int g_output_error = 0;  // of the first write of standard output that failed

// Writes "HEAD TAIL: strerror(reason)\n" on standard error in one write. A
// closed standard error leaves the status alone to tell.
__attribute__((noinline)) inline void say_error(const char* head, const char* tail, int reason) {
    const char* texts[] = {head, tail, ": ", std::strerror(reason), "\n"};
    char line[kLineArea];
    (void)write_joined(STDERR_FILENO, texts, 5, line, sizeof line);
}

// Opens kNull for access without ever waiting (a FIFO there would hold the
// open until a peer came). Returns the descriptor, or -1 with errno telling
// why: anything there but the null device (character device 1, 3) does not
// count and gives ENODEV. A FIFO, a terminal, a plain file, a directory, and
// /dev/full, /dev/zero or /dev/urandom, which seek as the null device does,
// fail that test.
inline int open_null(int access) {
    int fd = open(kNull, access | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat node;
    if (fstat(fd, &node) != 0 || !S_ISCHR(node.st_mode) || node.st_rdev != makedev(1, 3)) {
        close(fd);
        errno = ENODEV;
        return -1;
    }
    return fd;
}

inline void write_output() {
    if (g_output_length > 0 && !write_all(STDOUT_FILENO, g_output, g_output_length) && g_output_error == 0)
        g_output_error = errno != 0 ? errno : EIO;
    g_output_length = 0;
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
// /dev/null is opened without waiting and counts only where it is the null
// device: a FIFO, a terminal, a plain file or another device there (a broken
// chroot or initramfs) is taken as a /dev/null that does not open.
//
// It also ignores SIGXFSZ, so that a write over the file-size limit fails with
// EFBIG and is told like any other failed write, instead of ending the
// program.
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
// For standard error nothing can be said; the status alone tells. REASON is
// the failed call's, "No such device" (ENODEV) for what is not the null
// device, "No such device or address" (ENXIO) for a FIFO without a reader.
[[nodiscard]] inline int std_streams_reserve(const char* program) {
    using namespace std_streams_detail;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    (void)sigaction(SIGXFSZ, &ignore, nullptr);
    for (int target = STDIN_FILENO; target <= STDERR_FILENO; ++target) {
        if (fcntl(target, F_GETFD) != -1) continue;
        int fd = open_null(target == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (fd == target || target == STDIN_FILENO) continue;
        // while standard input stays closed, the open takes descriptor 0
        if (fd >= 0 && fcntl(fd, F_DUPFD, target) == target && close(fd) == 0) continue;
        if (target == STDOUT_FILENO) say_error(program, kRefusal, errno);
        return -1;
    }
    return 0;
}

// For a report written to standard output directly: writes one line in the
// perror form on standard error, in one write, "stdout: REASON" with
// strerror(reason), unless such a line has been written already in this
// process. A closed standard error leaves the status alone to tell.
inline void std_streams_say_lost(int reason) {
    using namespace std_streams_detail;
    if (g_loss_said) return;
    g_loss_said = true;
    say_error(kOutputName, "", reason);
}

// The perror line of prefix and errno, "PREFIX: REASON", in one write, which
// waits where standard error is non-blocking and full.
inline void std_streams_perror(const char* prefix) {
    std_streams_detail::say_error(prefix, "", errno);
}

// Writes text, a line or a few, on standard error in one write, as
// std_streams_perror does; what does not fit in 256 bytes is left out.
inline void std_streams_say(const char* text) {
    char line[std_streams_detail::kLineArea];
    (void)write_joined(STDERR_FILENO, &text, 1, line, sizeof line);
}

// Adds text to what the program reports on standard output, for
// std_streams_flush to write out; what waits is written out first where text
// does not fit beside it, and a text of kOutputArea bytes or more is cut
// there (the longest the programs print is a line with a 256-byte burst).
__attribute__((noinline)) inline void std_streams_put(const char* text) {
    using namespace std_streams_detail;
    std::size_t length = std::strlen(text);
    if (length > kOutputArea - g_output_length) write_output();
    if (length > kOutputArea) length = kOutputArea;
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): the area holds bytes for write, not a string
    std::memcpy(g_output + g_output_length, text, length);
    g_output_length += length;
}

// Adds the text that format and the arguments make, as printf would, up to
// 511 bytes, as std_streams_put does.
// NOLINTNEXTLINE(cert-dcl50-cpp): printf's formats, checked by the attribute
__attribute__((format(printf, 1, 2), noinline)) inline void std_streams_print(const char* format, ...) {
    char line[512];
    std::va_list args;
    va_start(args, format);
    (void)std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std_streams_put(line);
}

// Writes out what the program has printed with std_streams_put and
// std_streams_print and not yet written, waiting where standard output is
// non-blocking and full. Returns true when every write of standard output has
// succeeded so far. Returns false when one has failed, in this call or
// earlier: then, unless quiet, the line of std_streams_say_lost has been
// written, with the errno of the first failed write, once per process. Call
// it right after the prints whose loss must be told.
//
// A reader that has gone away ends the program by SIGPIPE in the write, as
// ever; where SIGPIPE is ignored, that write fails with EPIPE like any other.
//
// Out of line: the programs check after each line they print, and the
// board's static programs have a size budget.
[[nodiscard]] __attribute__((noinline)) inline bool std_streams_flush(bool quiet = false) {
    using namespace std_streams_detail;
    write_output();
    if (g_output_error == 0) return true;
    if (!quiet) std_streams_say_lost(g_output_error);
    return false;
}
