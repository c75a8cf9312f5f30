/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* File-system queries: file size and file-system space in KiB, the oldest and
 * the newest file with an extension in a directory, the last component of a
 * path. Usable from C and C++. Single-threaded use only: every result lies
 * in a process-wide area of its operation, overwritten by its next call.
 *
 * The KiB figures are computed in 64 bits and clamped to INT_MAX. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum {
    FS_COMMAND_SIZE = 256,  /* the listing command, with its quoting */
    FS_RESULT_SIZE = 512,  /* a listing line is cut to 511 characters */
    FS_PATH_SIZE = 256  /* fs_base_name takes paths of up to 255 characters */
};

/* The size of the file in KiB (truncated), following symbolic links; 0 when
 * its status cannot be read. */
int fs_file_size_kb(const char* path);

/* The used space ((blocks - free blocks) * block size / 1024, the blocks
 * reserved for root counted as used) and the space available to unprivileged
 * users (available blocks * block size / 1024) of the file system that holds
 * path; 0 when its status cannot be read. */
int fs_disk_used_kb(const char* path);
int fs_disk_free_kb(const char* path);

/* Of the entries of dir that the shell pattern *.ext matches (names that begin
 * with a dot left out; dir and ext are quoted, so no character in them is
 * special to the shell), the listing line of the least recently modified one:
 * "dir/name\n", cut to 511 characters. Empty text when none matches or when
 * the command would not fit FS_COMMAND_SIZE, which holds a dir and an ext of
 * 205 characters together, 3 less for each single quote in them. ls
 * complains on standard error.
 * Prints " Old? -> " and the result and '\n' on standard output, and before
 * that "Error !- pipe is broken\n" when its private list file cannot be made. */
const char* fs_oldest_file(const char* dir, const char* ext);

/* As fs_oldest_file, for the most recently modified entry; also empty when
 * the listing command cannot be started. Its command holds a dir and an ext
 * of 233 characters together. Prints nothing. */
const char* fs_newest_file(const char* dir, const char* ext);

/* The part of path after its last '/' (empty text when it ends in '/'), or
 * the whole path when it has no '/'. Empty text for a path of more than 255
 * characters. */
const char* fs_base_name(const char* path);

#ifdef __cplusplus
}
#endif
