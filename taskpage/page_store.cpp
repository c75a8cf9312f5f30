#include "page_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

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

// Gives the file at from the name to in one step, failing with EEXIST when
// something is at to already. renameat2 with RENAME_NOREPLACE because ext4,
// vfat and tmpfs all have it, where vfat refuses link() and has no O_TMPFILE;
// musl 1.2.3 has no wrapper for it, so the system call is made directly.
int rename_noreplace(const char* from, const char* to) {
    constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE of <linux/fs.h>
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, kRenameNoReplace));
}

bool sync_dir(const char* dir) {
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

// Writes text under temp_path, gives it the page file's name, then syncs the
// file and the directory: the page file appears whole or not at all, and is
// on the storage once this returns 0. O_EXCL|O_NOFOLLOW and the rename that
// never replaces: whatever is at either name is never followed or truncated.
int write_page_file(const char* dir, const char* page_path, const char* temp_path, const char* text,
                    size_t length) {
    int fd = open(temp_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return kPageWriteError;
    int result = kPageWriteError;
    // Before the rename the text and the record of its place reach the
    // storage, but not the temporary name's entry. ext4 gives the text its
    // blocks in sync_file_range, in a journal transaction that commits no
    // later than the rename's. vfat writes its cluster table when the
    // directory is synced, but a file's entry before the table when the file
    // is: so the page's entry (the file's sync after the rename) never points
    // at clusters that the table does not hold yet, and the temporary entry
    // never holds them at all (vfat renames in two directory writes, and a
    // cut between them would leave two names on one cluster chain).
    bool written = write_full(fd, text, length) &&
                   sync_file_range(fd, 0, 0,
                                   SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                       SYNC_FILE_RANGE_WAIT_AFTER) == 0 &&
                   sync_dir(dir);
    if (written && rename_noreplace(temp_path, page_path) == 0) {
        // the file first: vfat writes its clusters and size into the new
        // entry then; the directory then drops the temporary entry
        if (fsync(fd) == 0 && sync_dir(dir))
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

int save_page(int base, int n, const char* dir, const char* kind) {
    char page_path[kPathArea];
    char temp_path[kPathArea];
    char chunk_path[kPathArea];

    if (std::strlen(dir) >= static_cast<size_t>(kDirArea)) return kPageOpenError;
    std::snprintf(page_path, sizeof page_path, "%s/%s_%d.dat", dir, kind, n);
    std::snprintf(temp_path, sizeof temp_path, "%s/%s_%d.dat%s", dir, kind, n, kTempSuffix);
    // what a cut left of an earlier run; never a page file, so never kept
    unlink(temp_path);

    if (is_type(page_path) == 2) return kPageExists;

    unsigned linear = static_cast<unsigned>(base + n) * kPageSize;
    std::snprintf(chunk_path, sizeof chunk_path, "%s/%4.4x", dir, linear >> 16);

    char page[kPageSize];
    int r = fileRead(chunk_path, linear, page);
    if (r <= 0) return r;

    int w = write_page_file(dir, page_path, temp_path, page, strnlen(page, sizeof page));
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
