#include "page_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The directory, a slash and the longest file name: "task_-2147483648.dat"
// for the most negative page number that a library caller could pass.
constexpr int kPathArea = kDirArea + 32;

// Returns -1 for a read error, else the count read; loops so that a short
// read (signal, network file system) never passes for the end of the file.
int read_full(int fd, char* buf, int size) {
    int got = 0;
    while (got < size) {
        ssize_t r = read(fd, buf + got, size - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<int>(r);
    }
    return got;
}

bool write_full(int fd, const char* buf, size_t size) {
    while (size > 0) {
        ssize_t w = write(fd, buf, size);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        buf += w;
        size -= static_cast<size_t>(w);
    }
    return true;
}

// Creates the page file and writes text into it. O_EXCL|O_NOFOLLOW: whatever
// appeared at the path since it was examined is never followed or truncated.
int write_page_file(const char* path, const char* text, size_t length) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST && is_type(path) != 1) return kPageExists;
        return kPageWriteError;
    }
    bool ok = write_full(fd, text, length);
    if (close(fd) != 0) ok = false;
    if (!ok) {
        // a cut-off page file would be taken for a finished one by the next run
        unlink(path);
        return kPageWriteError;
    }
    return 0;
}

int save_page(int base, int n, const char* dir, const char* kind) {
    char page_path[kPathArea];
    char chunk_path[kPathArea];

    if (std::strlen(dir) >= static_cast<size_t>(kDirArea)) return kPageOpenError;
    std::snprintf(page_path, sizeof page_path, "%s/%s_%d.dat", dir, kind, n);

    if (is_type(page_path) == 2) return kPageExists;

    unsigned linear = static_cast<unsigned>(base + n) * kPageSize;
    std::snprintf(chunk_path, sizeof chunk_path, "%s/%4.4x", dir, linear >> 16);

    char page[kPageSize];
    int r = fileRead(chunk_path, linear, page);
    if (r <= 0) return r;

    int w = write_page_file(page_path, page, strnlen(page, sizeof page));
    return w < 0 ? w : r;
}

}  // namespace

int TaskSave(int n, const char* dir) {
    return save_page(kTaskPageBase, n, dir, "task");
}

int TaskSubSave(int n, const char* dir) {
    return save_page(kSubPageBase, n, dir, "sub");
}

int is_type(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) return -1;
    return S_ISDIR(st.st_mode) ? 1 : 2;
}

int fileRead(const char* path, unsigned offset, char* buf) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    std::memset(buf, 0, kPageSize);
    int r = -1;
    if (lseek(fd, offset & (kChunkSize - 1), SEEK_SET) >= 0) r = read_full(fd, buf, kPageSize);
    close(fd);
    return r;
}
