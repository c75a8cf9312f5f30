// SPDX-License-Identifier: MIT WITH fmt-exception
#include "page_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "write_all.h"

namespace {

// The directory, a slash and the longest file name: the temporary name
// "task_-2147483648.dat.part" for the most negative page number that a
// library caller could pass.
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

// Gives the file at from the name to, never over something at to: fails with
// EEXIST when anything is there, even a dangling link. renameat2 with
// RENAME_NOREPLACE where the kernel and the file system have it, since ext4,
// vfat and tmpfs do, where vfat refuses link() and has no O_TMPFILE; musl
// 1.2.3 has no wrapper for it, so the system call is made directly.
int rename_noreplace(const char* from, const char* to) {
    constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE of <linux/fs.h>
    if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, kRenameNoReplace) == 0) return 0;
    // kernels before 3.15 lack the call (ENOSYS); vfat before 4.9, NFS, 9p
    // and many FUSE file systems refuse the flag (EINVAL)
    if (errno != ENOSYS && errno != EINVAL) return -1;
    if (link(from, to) == 0) {
        // a cut before this leaves a second name on the whole page, which the
        // next run removes as a leftover
        unlink(from);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return -1;
    // no hard links here (vfat): the name is looked at, then taken, while
    // the caller holds the store's lock, so no other run can take it between
    struct stat st;
    if (lstat(to, &st) == 0) errno = EEXIST;
    if (errno != ENOENT) return -1;
    return rename(from, to);
}

bool sync_dir(int dir_fd) {
    return dir_fd >= 0 && fsync(dir_fd) == 0;
}

// Writes text under temp_path, gives it the page file's name, then syncs the
// file and the directory: the page file appears whole or not at all, and is
// on the storage once this returns 0. O_EXCL|O_NOFOLLOW and a naming that
// never replaces: whatever is at either name is never followed or truncated.
int write_page_file(int dir_fd, const char* page_path, const char* temp_path, const char* text,
                    size_t length) {
    int fd = open(temp_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return kPageWriteError;
    int result = kPageWriteError;
    // Before the naming the text and the record of its place reach the
    // storage, but not the temporary name's entry. ext4 gives the text its
    // blocks in sync_file_range, in a journal transaction that commits no
    // later than the naming's. vfat writes its cluster table when the
    // directory is synced, but a file's entry before the table when the file
    // is: so the page's entry (the file's sync after the rename) never points
    // at clusters that the table does not hold yet, and the temporary entry
    // never holds them at all (vfat renames in two directory writes, and a
    // cut between them would leave two names on one cluster chain).
    bool written = write_all(fd, text, length) &&
                   sync_file_range(fd, 0, 0,
                                   SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                       SYNC_FILE_RANGE_WAIT_AFTER) == 0 &&
                   sync_dir(dir_fd);
    if (written && rename_noreplace(temp_path, page_path) == 0) {
        // the file first: vfat writes its clusters and size into the new
        // entry then, and ext4 commits the naming with it; the directory
        // then drops the temporary entry
        if (fsync(fd) == 0 && sync_dir(dir_fd))
            result = 0;
        else
            unlink(page_path);
    } else {
        if (written && errno == EEXIST && is_type(page_path) != 1) result = kPageExists;
        unlink(temp_path);
    }
    close(fd);  // after fsync, close has nothing left to report
    return result;
}

constexpr char kWaitHead[] = "sorbelt: ";
constexpr char kWaitTail[] = " is in use by another process; waiting\n";

// Holds the store's lock until dir_fd is closed. Two runs on one store take
// turns page by page: neither removes the other's temporary file as a
// leftover, nor names a page that the other has named meanwhile. A file
// system that cannot lock (some network ones) goes unguarded. A wait is
// announced once per process: a script that hangs behind another holder of
// the lock (a stopped run, a backup's flock) says why.
void lock_store(int dir_fd, const char* dir) {
    static bool announced = false;
    if (dir_fd < 0 || flock(dir_fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
    if (!announced) {
        const char* texts[] = {kWaitHead, dir, kWaitTail};
        char notice[sizeof kWaitHead + kDirArea + sizeof kWaitTail];
        (void)write_joined(STDERR_FILENO, texts, 3, notice, sizeof notice);
    }
    announced = true;
    while (flock(dir_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

int save_page_locked(int base, int n, const char* dir, int dir_fd, const char* page_path,
                     const char* temp_path) {
    // what a cut left of an earlier run; never a page file, so never kept
    unlink(temp_path);

    if (is_type(page_path) == 2) return kPageExists;

    char chunk_path[kPathArea];
    unsigned linear = static_cast<unsigned>(base + n) * kPageSize;
    std::snprintf(chunk_path, sizeof chunk_path, "%s/%4.4x", dir, linear >> 16);

    char page[kPageSize];
    int r = fileRead(chunk_path, linear, page);
    if (r <= 0) return r;

    int w = write_page_file(dir_fd, page_path, temp_path, page, strnlen(page, sizeof page));
    return w < 0 ? w : r;
}

int save_page(int base, int n, const char* dir, const char* kind) {
    char page_path[kPathArea];
    char temp_path[kPathArea];

    if (std::strlen(dir) >= static_cast<size_t>(kDirArea)) return kPageOpenError;
    std::snprintf(page_path, sizeof page_path, "%s/%s_%d.dat", dir, kind, n);
    std::snprintf(temp_path, sizeof temp_path, "%s/%s_%d.dat%s", dir, kind, n, kTempSuffix);

    // a store that does not open has no chunk file to read and no page file
    // to sync, which the steps report themselves
    int dir_fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    lock_store(dir_fd, dir);
    int result = save_page_locked(base, n, dir, dir_fd, page_path, temp_path);
    if (dir_fd >= 0) close(dir_fd);  // and with it the lock
    return result;
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
