// SPDX-License-Identifier: MIT WITH fmt-exception
#include "fs_query.h"

#include <fcntl.h>
#include <limits.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

enum {
    kCommandArea = FS_COMMAND_SIZE,
    kResultArea = FS_RESULT_SIZE,
    kPathArea = FS_PATH_SIZE
};
static const char kListTemplate[] = "/tmp/filelist.XXXXXX";
static const char kListError[] = "Error !- pipe is broken\n";

static struct stat g_file_status;
static struct statfs g_used_status;
static struct statfs g_free_status;
static char g_oldest_command[kCommandArea];
static char g_oldest_result[kResultArea];
static char g_newest_command[kCommandArea];
static char g_newest_result[kResultArea];
static char g_base_name[kPathArea];

static int clamp_to_int(uint64_t value) { return value > INT_MAX ? INT_MAX : (int)value; }

// blocks * size / 1024 in KiB, truncated, without overflowing 64 bits on the
// way: blocks = 1024 q + r gives q * size + r * size / 1024.
static uint64_t blocks_kb(uint64_t blocks, uint64_t size) {
    uint64_t q = blocks / 1024, r = blocks % 1024;
    // r * size / 1024 stays below UINT32_MAX once size does
    if (size > UINT32_MAX || (size != 0 && q > (UINT64_MAX - UINT32_MAX) / size)) return UINT64_MAX;
    return q * size + r * size / 1024;
}

// Builds a command in area from pieces, each either plain text or a word
// quoted for the shell. Once a piece does not fit, the command stays failed.
typedef struct {
    char* area;
    size_t used;
    bool fits;
} Command;

static void command_put(Command* c, char ch) {
    if (!c->fits || c->used + 1 >= (size_t)kCommandArea) {
        c->fits = false;
        return;
    }
    c->area[c->used++] = ch;
}

static void command_add(Command* c, const char* text) {
    for (; *text != '\0'; ++text) command_put(c, *text);
}

// In single quotes nothing is special; a quote itself becomes '\''.
static void command_add_quoted(Command* c, const char* text) {
    command_put(c, '\'');
    for (; *text != '\0'; ++text) {
        if (*text == '\'') command_add(c, "'\\''");
        else command_put(c, *text);
    }
    command_put(c, '\'');
}

// The pattern dir/*.ext with dir and ext quoted: the shell expands only the
// star. Only options that every ls has: busybox's refuses "--sort=time" and
// prints its usage text instead of a listing. "-d" lists a matching directory
// as an entry, not its content; "--" keeps a directory that begins with '-'
// from being read as an option of ls.
static bool format_listing(char* area, const char* options, const char* dir, const char* ext, const char* list) {
    memset(area, 0, kCommandArea);
    Command c = {area, 0, true};
    command_add(&c, "ls -1 -d -t ");
    command_add(&c, options);
    command_add(&c, "-- ");
    command_add_quoted(&c, dir);
    command_add(&c, "/*.");
    command_add_quoted(&c, ext);
    if (list) {
        command_add(&c, " > ");
        command_add_quoted(&c, list);
    }
    if (!c.fits) memset(area, 0, kCommandArea);
    return c.fits;
}

int fs_file_size_kb(const char* path) {
    if (stat(path, &g_file_status) != 0 || g_file_status.st_size < 0) return 0;
    return clamp_to_int((uint64_t)g_file_status.st_size / 1024);
}

int fs_disk_used_kb(const char* path) {
    memset(&g_used_status, 0, sizeof g_used_status);
    if (statfs(path, &g_used_status) != 0 || g_used_status.f_bsize <= 0) return 0;
    uint64_t blocks = g_used_status.f_blocks > g_used_status.f_bfree ? g_used_status.f_blocks - g_used_status.f_bfree : 0;
    return clamp_to_int(blocks_kb(blocks, (uint64_t)g_used_status.f_bsize));
}

int fs_disk_free_kb(const char* path) {
    memset(&g_free_status, 0, sizeof g_free_status);
    if (statfs(path, &g_free_status) != 0 || g_free_status.f_bsize <= 0) return 0;
    return clamp_to_int(blocks_kb(g_free_status.f_bavail, (uint64_t)g_free_status.f_bsize));
}

const char* fs_oldest_file(const char* dir, const char* ext) {
    memset(g_oldest_result, 0, sizeof g_oldest_result);
    // a list file of its own, which no other process can read, remove or
    // have planted a link at
    char list[sizeof kListTemplate];
    memcpy(list, kListTemplate, sizeof list);
    int fd = mkostemp(list, O_CLOEXEC);
    if (fd < 0) {
        fputs(kListError, stdout);
    } else {
        if (format_listing(g_oldest_command, "-r ", dir, ext, list)) {
            // when ls finds nothing or fails, the list file stays empty
            // NOLINTNEXTLINE(cert-env33-c): the listing is ls's, through the shell, by design; the text is quoted
            int status = system(g_oldest_command);
            (void)status;
        }
        FILE* f = fdopen(fd, "r");
        if (f) {
            if (!fgets(g_oldest_result, kResultArea, f)) g_oldest_result[0] = '\0';
            fclose(f);
        } else {
            close(fd);
        }
        unlink(list);
    }
    printf(" Old? -> %s\n", g_oldest_result);
    return g_oldest_result;
}

const char* fs_newest_file(const char* dir, const char* ext) {
    memset(g_newest_result, 0, sizeof g_newest_result);
    if (!format_listing(g_newest_command, "", dir, ext, NULL)) return g_newest_result;
    // NOLINTNEXTLINE(cert-env33-c): the listing is ls's, through the shell, by design; the text is quoted
    FILE* pipe = popen(g_newest_command, "r");
    if (!pipe) return g_newest_result;
    if (!fgets(g_newest_result, kResultArea, pipe)) g_newest_result[0] = '\0';
    pclose(pipe);
    return g_newest_result;
}

const char* fs_base_name(const char* path) {
    char copy[kPathArea] = {0};
    size_t length = strnlen(path, kPathArea);
    memset(g_base_name, 0, sizeof g_base_name);
    // a longer path would be cut, and its cut end taken for its name
    if (length >= (size_t)kPathArea) return g_base_name;
    memcpy(copy, path, length);
    const char* slash = strrchr(copy, '/');
    const char* base = slash ? slash + 1 : copy;
    memcpy(g_base_name, base, strlen(base) + 1);
    return g_base_name;
}
