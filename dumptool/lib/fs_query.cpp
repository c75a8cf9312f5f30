// SPDX-License-Identifier: MIT
#include "fs_query.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr int kCommandArea = FS_COMMAND_SIZE;
constexpr int kResultArea = FS_RESULT_SIZE;
constexpr int kPathArea = FS_PATH_SIZE;
constexpr char kListTemplate[] = "/tmp/filelist.XXXXXX";
constexpr char kListError[] = "Error !- pipe is broken\n";

struct stat g_file_status;
struct statfs g_used_status;
struct statfs g_free_status;
char g_oldest_command[kCommandArea];
char g_oldest_result[kResultArea];
char g_newest_command[kCommandArea];
char g_newest_result[kResultArea];
char g_base_name[kPathArea];

int clamp_to_int(uint64_t value) { return value > INT_MAX ? INT_MAX : static_cast<int>(value); }

// blocks * size / 1024 in KiB, truncated, without overflowing 64 bits on the
// way: blocks = 1024 q + r gives q * size + r * size / 1024.
uint64_t blocks_kb(uint64_t blocks, uint64_t size) {
    uint64_t q = blocks / 1024, r = blocks % 1024;
    // r * size / 1024 stays below UINT32_MAX once size does
    if (size > UINT32_MAX || (size != 0 && q > (UINT64_MAX - UINT32_MAX) / size)) return UINT64_MAX;
    return q * size + r * size / 1024;
}

// Builds a command in area from pieces, each either plain text or a word
// quoted for the shell. Once a piece does not fit, the command stays failed.
struct Command {
    char* area;
    size_t used;
    bool fits;

    void add(const char* text) {
        for (; *text != '\0'; ++text) put(*text);
    }
    // In single quotes nothing is special; a quote itself becomes '\''.
    void add_quoted(const char* text) {
        put('\'');
        for (; *text != '\0'; ++text) {
            if (*text == '\'') add("'\\''");
            else put(*text);
        }
        put('\'');
    }
    void put(char c) {
        if (!fits || used + 1 >= static_cast<size_t>(kCommandArea)) {
            fits = false;
            return;
        }
        area[used++] = c;
    }
};

// The pattern dir/*.ext with dir and ext quoted: the shell expands only the
// star. Only options that every ls has: busybox's refuses "--sort=time" and
// prints its usage text instead of a listing. "-d" lists a matching directory
// as an entry, not its content; "--" keeps a directory that begins with '-'
// from being read as an option of ls.
bool format_listing(char* area, const char* options, const char* dir, const char* ext, const char* list) {
    std::memset(area, 0, kCommandArea);
    Command c{area, 0, true};
    c.add("ls -1 -d -t ");
    c.add(options);
    c.add("-- ");
    c.add_quoted(dir);
    c.add("/*.");
    c.add_quoted(ext);
    if (list) {
        c.add(" > ");
        c.add_quoted(list);
    }
    if (!c.fits) std::memset(area, 0, kCommandArea);
    return c.fits;
}

}  // namespace

int fs_file_size_kb(const char* path) {
    if (stat(path, &g_file_status) != 0 || g_file_status.st_size < 0) return 0;
    return clamp_to_int(static_cast<uint64_t>(g_file_status.st_size) / 1024);
}

int fs_disk_used_kb(const char* path) {
    std::memset(&g_used_status, 0, sizeof g_used_status);
    if (statfs(path, &g_used_status) != 0 || g_used_status.f_bsize <= 0) return 0;
    uint64_t blocks = g_used_status.f_blocks > g_used_status.f_bfree ? g_used_status.f_blocks - g_used_status.f_bfree : 0;
    return clamp_to_int(blocks_kb(blocks, static_cast<uint64_t>(g_used_status.f_bsize)));
}

int fs_disk_free_kb(const char* path) {
    std::memset(&g_free_status, 0, sizeof g_free_status);
    if (statfs(path, &g_free_status) != 0 || g_free_status.f_bsize <= 0) return 0;
    return clamp_to_int(blocks_kb(g_free_status.f_bavail, static_cast<uint64_t>(g_free_status.f_bsize)));
}

const char* fs_oldest_file(const char* dir, const char* ext) {
    std::memset(g_oldest_result, 0, sizeof g_oldest_result);
    // a list file of its own, which no other process can read, remove or
    // have planted a link at
    char list[sizeof kListTemplate];
    std::memcpy(list, kListTemplate, sizeof list);
    int fd = mkostemp(list, O_CLOEXEC);
    if (fd < 0) {
        std::fputs(kListError, stdout);
    } else {
        if (format_listing(g_oldest_command, "-r ", dir, ext, list)) {
            // when ls finds nothing or fails, the list file stays empty
            // NOLINTNEXTLINE(cert-env33-c): the listing is ls's, through the shell, by design; the text is quoted
            int status = std::system(g_oldest_command);
            (void)status;
        }
        FILE* f = fdopen(fd, "r");
        if (f) {
            if (!std::fgets(g_oldest_result, kResultArea, f)) g_oldest_result[0] = '\0';
            std::fclose(f);
        } else {
            close(fd);
        }
        unlink(list);
    }
    std::printf(" Old? -> %s\n", g_oldest_result);
    return g_oldest_result;
}

const char* fs_newest_file(const char* dir, const char* ext) {
    std::memset(g_newest_result, 0, sizeof g_newest_result);
    if (!format_listing(g_newest_command, "", dir, ext, nullptr)) return g_newest_result;
    // NOLINTNEXTLINE(cert-env33-c): the listing is ls's, through the shell, by design; the text is quoted
    FILE* pipe = popen(g_newest_command, "r");
    if (!pipe) return g_newest_result;
    if (!std::fgets(g_newest_result, kResultArea, pipe)) g_newest_result[0] = '\0';
    pclose(pipe);
    return g_newest_result;
}

const char* fs_base_name(const char* path) {
    char copy[kPathArea] = {};
    size_t length = strnlen(path, kPathArea);
    std::memset(g_base_name, 0, sizeof g_base_name);
    // a longer path would be cut, and its cut end taken for its name
    if (length >= static_cast<size_t>(kPathArea)) return g_base_name;
    std::memcpy(copy, path, length);
    const char* slash = std::strrchr(copy, '/');
    const char* base = slash ? slash + 1 : copy;
    std::memcpy(g_base_name, base, std::strlen(base) + 1);
    return g_base_name;
}
