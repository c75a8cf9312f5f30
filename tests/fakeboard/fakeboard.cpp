// SPDX-License-Identifier: MIT WITH fmt-exception
// open and open64 are both defined here, so neither may stand for the other
#undef _FILE_OFFSET_BITS
#include "fakeboard.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace {

const DevicePart* const kParts[] = {&kTtyPart, &kSpidevPart, &kMemPart};

constexpr int kMaxFd = 1024;
const DevicePart* g_owner[kMaxFd];  // the part a descriptor was opened through

using OpenFn = int (*)(const char*, int, ...);
using IoctlFn = int (*)(int, unsigned long, ...);
using CloseFn = int (*)(int);
using SleepFn = unsigned (*)(unsigned);
using NanosleepFn = int (*)(const struct timespec*, struct timespec*);
using ReadFn = ssize_t (*)(int, void*, size_t);
using WriteFn = ssize_t (*)(int, const void*, size_t);

template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

const DevicePart* part_for(const char* path) {
    for (const DevicePart* part : kParts)
        if (path && std::strcmp(path, part->board_path) == 0 && std::getenv(part->variable)) return part;
    return nullptr;
}

int open_through(OpenFn real, const char* path, int flags, mode_t mode) {
    const DevicePart* part = part_for(path);
    const char* stand_in = part ? std::getenv(part->variable) : path;
    if (part && std::strncmp(stand_in, "errno:", 6) == 0) {
        board_log("open %s refused with errno %s", path, stand_in + 6);
        errno = static_cast<int>(std::strtol(stand_in + 6, nullptr, 10));
        return -1;
    }
    int fd = real(stand_in, flags, mode);
    if (fd >= 0 && part && part->opened && !part->opened(fd, flags)) {
        int refused = errno;
        next<CloseFn>("close")(fd);
        errno = refused;
        return -1;
    }
    if (fd >= 0 && fd < kMaxFd) g_owner[fd] = part;
    return fd;
}

bool log_calls() { return std::getenv("FAKEBOARD_LOG_CALLS") != nullptr; }

void log_call(int fd, const char* call, ssize_t result) {
    const DevicePart* part = fd >= 0 && fd < kMaxFd ? g_owner[fd] : nullptr;
    // the part's name is its board path's last component: "ttyO1"
    if (part && log_calls()) board_log("%s %s %zd", std::strrchr(part->board_path, '/') + 1, call, result);
}

double g_read_started = 0;  // when the latest read on a part's descriptor began

double seconds_now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

mode_t mode_argument(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

}  // namespace

void board_log(const char* format, ...) {
    const char* path = std::getenv("FAKEBOARD_LOG");
    if (!path) return;
    char line[256];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(line, sizeof line - 1, format, ap);
    va_end(ap);
    if (n < 0) return;
    if (n > static_cast<int>(sizeof line) - 2) n = static_cast<int>(sizeof line) - 2;
    line[n++] = '\n';
    int saved = errno;
    int fd = next<OpenFn>("open")(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ssize_t written = next<WriteFn>("write")(fd, line, static_cast<size_t>(n));
        (void)written;
        next<CloseFn>("close")(fd);
    }
    errno = saved;
}

void board_log_open(const char* part, int flags) {
    // named from this build's headers, whose numbers differ between
    // processors (mips: O_NONBLOCK 0x80); bits without a name stay a number
    static const struct {
        int flag;
        const char* name;
    } kFlags[] = {{O_NONBLOCK, "O_NONBLOCK"}, {O_SYNC, "O_SYNC"}, {O_DSYNC, "O_DSYNC"}, {O_NOCTTY, "O_NOCTTY"},
                  {O_CLOEXEC, "O_CLOEXEC"},   {O_APPEND, "O_APPEND"}, {O_CREAT, "O_CREAT"}, {O_TRUNC, "O_TRUNC"}};
    int mode = flags & O_ACCMODE;
    char text[160];
    size_t n = static_cast<size_t>(std::snprintf(text, sizeof text, "%s",
                                                  mode == O_RDWR ? "O_RDWR" : mode == O_WRONLY ? "O_WRONLY" : "O_RDONLY"));
    flags &= ~O_ACCMODE;
    for (const auto& f : kFlags)
        if ((flags & f.flag) == f.flag && n < sizeof text) {
            n += static_cast<size_t>(std::snprintf(text + n, sizeof text - n, "|%s", f.name));
            flags &= ~f.flag;
        }
    if (flags && n < sizeof text) std::snprintf(text + n, sizeof text - n, "|%#x", static_cast<unsigned>(flags));
    board_log("%s open %s", part, text);
}

extern "C" int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    return open_through(next<OpenFn>("open"), path, flags, mode);
}

#ifndef open64  // musl's headers make it another name for open
extern "C" int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_argument(flags, ap);
    va_end(ap);
    return open_through(next<OpenFn>("open64"), path, flags, mode);
}
#endif

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const DevicePart* part = fd >= 0 && fd < kMaxFd ? g_owner[fd] : nullptr;
    int result = 0;
    if (part && part->ioctl(fd, request, arg, &result)) return result;
    return next<IoctlFn>("ioctl")(fd, request, arg);
}

extern "C" ssize_t read(int fd, void* buf, size_t count) {
    bool owned = fd >= 0 && fd < kMaxFd && g_owner[fd];
    if (owned) g_read_started = seconds_now();
    const char* fail = std::getenv("FAKEBOARD_READ_ERRNO");
    bool failing = fail && owned;
    ssize_t result = failing ? -1 : next<ReadFn>("read")(fd, buf, count);
    if (failing) errno = static_cast<int>(std::strtol(fail, nullptr, 10));
    log_call(fd, "read", result);
    return result;
}

extern "C" ssize_t write(int fd, const void* buf, size_t count) {
    ssize_t result = next<WriteFn>("write")(fd, buf, count);
    log_call(fd, "write", result);
    return result;
}

extern "C" int close(int fd) {
    if (fd >= 0 && fd < kMaxFd) g_owner[fd] = nullptr;
    return next<CloseFn>("close")(fd);
}

extern "C" unsigned sleep(unsigned seconds) {
    if (log_calls()) board_log("sleep %u", seconds);
    const char* scale = std::getenv("FAKEBOARD_SLEEP_SCALE");
    if (!scale) return next<SleepFn>("sleep")(seconds);
    double wait = seconds * std::strtod(scale, nullptr);
    if (wait <= 0) return 0;
    struct timespec t = {static_cast<time_t>(wait), static_cast<long>((wait - static_cast<time_t>(wait)) * 1e9)};
    while (next<NanosleepFn>("nanosleep")(&t, &t) != 0 && errno == EINTR) {
    }
    return 0;
}

// Logged with where the pause ends, in tenths of a second after the latest
// read on the line began: a program that paces its reads asks for what is
// left of its period, which shrinks by however long the read and a loaded
// machine took, while the period's end does not.
extern "C" int nanosleep(const struct timespec* wait, struct timespec* left) {
    if (log_calls())
        board_log("nanosleep %.1f",
                  seconds_now() - g_read_started + static_cast<double>(wait->tv_sec) + wait->tv_nsec / 1e9);
    return next<NanosleepFn>("nanosleep")(wait, left);
}
