// SPDX-License-Identifier: MIT WITH fmt-exception
// Page store extraction: reads 8 KiB task pages out of the controller's old
// page store (64 KiB chunk files named by four hex digits) and writes each
// page's text to a page file of its own in the same directory.
#pragma once

constexpr int kPageSize = 0x2000;
constexpr int kChunkSize = 0x10000;
constexpr int kTaskPageBase = 0x220;  // page index of task page 0
constexpr int kSubPageBase = 0x22A;   // page index of sub page 0

// Longest directory text the converter takes (its 1024-byte buffer); every
// path built from such a directory fits the path areas below.
constexpr int kDirArea = 1024;

// A page file is written under its name with this suffix (task_3.dat.part),
// which no page file or chunk file name has, then named. Such a file that a
// power cut or a signal left behind is removed by the next TaskSave or
// TaskSubSave of that page, whatever it returns.
constexpr char kTempSuffix[] = ".part";

// How a page file gets its name, never over anything at that name:
//   - renameat2 with RENAME_NOREPLACE: Linux 3.15 and later, on ext4, tmpfs,
//     and vfat from 4.9;
//   - where that call is missing (ENOSYS: kernels 3.2 to 3.14) or refuses
//     its flag (EINVAL: vfat before 4.9, NFS, 9p, many FUSE file systems), a
//     hard link to the temporary file, which then loses its name (ext4,
//     NFS); where the file system has no hard links (vfat), a plain rename
//     once the name is seen to be free. Every path gives the same results
//     and the same guarantees.
// Each page is saved under an exclusive flock on the directory, held from
// the removal of a leftover temporary file to the last sync: a second process
// saving the same store waits its turn, and then finds the page file there.
// The first call of a process that has to wait for the lock prints
// "sorbelt: DIR is in use by another process; waiting\n" on standard error,
// DIR as given, in one write; nothing else is ever printed here. A file
// system that refuses flock (some network ones) goes without it.
//
// Results of TaskSave and TaskSubSave:
//   > 0  the number of bytes read from the chunk file (at most kPageSize); the
//        page file holds the page's text up to its first zero byte and is on
//        the storage: its data, then its directory entry, reached the device
//        before the call returned. A page file never appears under its name
//        with less than its whole text, whenever the power is cut.
//     0  the chunk file ends at or before the page: no page file is written
//    -1  the chunk file cannot be opened or read, or the directory is too long
//        for its paths (kDirArea - 1 characters fit)
//    -2  something that is not a directory is at the page file path already
//        (a file, or a link, dangling or not): it is left untouched
//    -3  the page file could not be created, written whole or made durable.
//        Nothing is left under the temporary name, nor under the page file's
//        name, except when the storage failed after the file took that name
//        and then refused to remove it (a file system that turned read-only):
//        a page file is left then, not known to be whole on the storage.
constexpr int kPageNotFound = 0;
constexpr int kPageOpenError = -1;
constexpr int kPageExists = -2;
constexpr int kPageWriteError = -3;

// Extracts task page n of dir into dir/task_n.dat.
[[nodiscard]] int TaskSave(int n, const char* dir);

// Extracts sub page n of dir into dir/sub_n.dat.
[[nodiscard]] int TaskSubSave(int n, const char* dir);

// Returns 1 when path names a directory, 2 when it names something else, -1
// when it cannot be examined. Follows symbolic links.
[[nodiscard]] int is_type(const char* path);

// Reads up to kPageSize bytes of the file at path, from offset & 0xFFFF, into
// buf (kPageSize bytes, cleared first). Returns the count read, 0 at end of
// file, -1 when the file cannot be opened or read.
[[nodiscard]] int fileRead(const char* path, unsigned offset, char* buf);
