// SPDX-License-Identifier: MIT WITH fmt-exception
#include <boardutil/fs_query.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

#include "scratch.h"

namespace {

// What fn printed on standard output.
template <typename Fn>
std::string capture_stdout(const Scratch& s, Fn fn) {
    std::fflush(stdout);
    int saved = dup(1);
    int fd = open(s.path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    close(fd);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return s.read("stdout");
}

std::string quoted(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A file with the modification time that touch -d gives it.
void touch(const Scratch& s, const std::string& name, const char* when) {
    s.write(name, 0, "x");
    std::string command = "touch -d '" + std::string(when) + "' " + quoted(s.path(name));
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void make_logs(const Scratch& s, const std::string& dir) {
    s.mkdirs(dir);
    touch(s, dir + "/.hidden.log", "2019-06-01 12:00");  // older still, but hidden from the pattern
    touch(s, dir + "/a.log", "2020-06-01 12:00");
    touch(s, dir + "/b.log", "2021-06-01 12:00");
    touch(s, dir + "/c.txt", "2022-06-01 12:00");
}

}  // namespace

// The list files that the queries make, with their permission bits, seen as
// the C library makes them (the test is linked with --wrap=mkostemp64): other
// processes make theirs in /tmp at the same time, so a listing of /tmp cannot
// tell which are the queries'.
struct MadeList {
    std::string path;
    unsigned mode;
};
std::vector<MadeList> g_made_lists;

extern "C" int __real_mkostemp64(char* name, int flags);
extern "C" int __wrap_mkostemp64(char* name, int flags) {
    int fd = __real_mkostemp64(name, flags);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0) g_made_lists.push_back({name, st.st_mode & 07777u});
    return fd;
}

namespace {

TEST(FileSize, CountsWholeKibAndFollowsLinks) {
    Scratch s;
    s.write("1023", 0, std::string(1023, 'x'));
    s.write("1024", 0, std::string(1024, 'x'));
    s.write("2047", 0, std::string(2047, 'x'));
    ASSERT_EQ(symlink(s.path("2047").c_str(), s.path("link").c_str()), 0);
    EXPECT_EQ(fs_file_size_kb(s.path("1023").c_str()), 0);
    EXPECT_EQ(fs_file_size_kb(s.path("1024").c_str()), 1);
    EXPECT_EQ(fs_file_size_kb(s.path("2047").c_str()), 1);
    EXPECT_EQ(fs_file_size_kb(s.path("link").c_str()), 1);
    EXPECT_EQ(fs_file_size_kb(s.path("missing").c_str()), 0);
}

TEST(FileSize, GivesTheTrueSizeBeyond2GibAndClampsToTheInt) {
    Scratch s;
    s.write("big", 0, "");
    ASSERT_EQ(truncate(s.path("big").c_str(), 3LL << 30), 0);  // sparse
    EXPECT_EQ(fs_file_size_kb(s.path("big").c_str()), 3 << 20);
    if (truncate(s.path("big").c_str(), 4LL << 40) != 0) GTEST_SKIP() << "this file system takes no 4 TiB file";
    EXPECT_EQ(fs_file_size_kb(s.path("big").c_str()), INT_MAX);
}

TEST(DiskSpace, GivesUsedAndAvailableKibOfTheFileSystem) {
    Scratch s;
    struct statvfs v;
    ASSERT_EQ(statvfs(s.path("").c_str(), &v), 0);
    long long total_kb = static_cast<long long>(v.f_blocks) * v.f_frsize / 1024;
    int used = fs_disk_used_kb(s.path("").c_str());
    int avail = fs_disk_free_kb(s.path("").c_str());
    EXPECT_GT(used, 0);
    EXPECT_GT(avail, 0);
    EXPECT_LE(static_cast<long long>(used) + avail, total_kb);
    EXPECT_EQ(fs_disk_used_kb(s.path("missing").c_str()), 0);
    EXPECT_EQ(fs_disk_free_kb(s.path("missing").c_str()), 0);
}

// The file-system figures that statfs gives while a test sets them (the test
// is linked with --wrap=statfs64): the scratch folder's change as other tests
// write meanwhile, these stand still.
const struct statfs* g_still_figures = nullptr;

extern "C" int __real_statfs64(const char* path, struct statfs* figures);
extern "C" int __wrap_statfs64(const char* path, struct statfs* figures) {
    if (!g_still_figures) return __real_statfs64(path, figures);
    *figures = *g_still_figures;
    return 0;
}

TEST(DiskSpace, EqualsTheBlocksTimesTheBlockSizeInWholeKib) {
    struct Row {
        long size;
        unsigned long long blocks, free, available;
        int used_kb, available_kb;
    };
    const Row rows[] = {
        // 4095 and 6143 blocks, 1023 past a multiple of 1024: half a KiB over
        {512, 10239, 6144, 6143, 2047, 3071},
        // beyond the int, and 1025 blocks: 4100 KiB
        {4096, 3000000000ULL, 1025, 1025, INT_MAX, 4100},
    };
    for (const Row& row : rows) {
        struct statfs figures = {};
        figures.f_bsize = row.size;
        figures.f_blocks = row.blocks;
        figures.f_bfree = row.free;
        figures.f_bavail = row.available;
        g_still_figures = &figures;
        int used = fs_disk_used_kb("/");
        int available = fs_disk_free_kb("/");
        g_still_figures = nullptr;
        EXPECT_EQ(used, row.used_kb) << row.blocks << " blocks of " << row.size;
        EXPECT_EQ(available, row.available_kb) << row.available << " blocks of " << row.size;
    }
}

TEST(OldestNewest, FindTheOldestAndNewestFileWithTheExtension) {
    Scratch s;
    make_logs(s, "d");
    std::string d = s.path("d");
    std::string result;
    std::string out = capture_stdout(s, [&] { result = fs_oldest_file(d.c_str(), "log"); });
    EXPECT_EQ(result, d + "/a.log\n");
    EXPECT_EQ(out, " Old? -> " + d + "/a.log\n\n");
    out = capture_stdout(s, [&] { result = fs_newest_file(d.c_str(), "log"); });
    EXPECT_EQ(result, d + "/b.log\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(std::string(fs_newest_file(d.c_str(), "txt")), d + "/c.txt\n");
}

// ls would list a matching directory's content, and so give a name that
// the pattern never matched
TEST(OldestNewest, TakeAMatchingDirectoryAsAnEntry) {
    Scratch s;
    s.mkdirs("d");
    s.mkdirs("d/old.log");
    touch(s, "d/old.log/inner.txt", "2018-06-01 12:00");
    std::string dated = "touch -d '2019-06-01 12:00' " + quoted(s.path("d/old.log"));
    ASSERT_EQ(std::system(dated.c_str()), 0);
    std::string d = s.path("d");
    std::string result;
    capture_stdout(s, [&] { result = fs_oldest_file(d.c_str(), "log"); });
    EXPECT_EQ(result, d + "/old.log\n");
    EXPECT_EQ(std::string(fs_newest_file(d.c_str(), "log")), d + "/old.log\n");
}

TEST(OldestNewest, GiveEmptyTextWhenNothingMatches) {
    Scratch s;
    make_logs(s, "d");
    for (std::string dir : {s.path("d"), s.path("missing")}) {
        std::string result = "unset";
        std::string out = capture_stdout(s, [&] { result = fs_oldest_file(dir.c_str(), "csv"); });
        EXPECT_EQ(result, "");
        EXPECT_EQ(out, " Old? -> \n");
        EXPECT_STREQ(fs_newest_file(dir.c_str(), "csv"), "");
    }
}

TEST(OldestNewest, RunNothingThatTheDirectoryOrExtensionHolds) {
    Scratch s;
    // every one of these, unquoted, would have the shell create a file
    std::string dir = "x $(touch made1) ; touch made2 ; 'q' \"dq\" `touch made3` y";
    make_logs(s, dir);
    std::string here = s.path("");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(here.c_str()), 0);
    std::string result;
    capture_stdout(s, [&] { result = fs_oldest_file(s.path(dir).c_str(), "log"); });
    EXPECT_EQ(result, s.path(dir) + "/a.log\n");
    EXPECT_EQ(std::string(fs_newest_file(s.path(dir).c_str(), "log")), s.path(dir) + "/b.log\n");
    capture_stdout(s, [&] { result = fs_oldest_file(s.path(dir).c_str(), "log; touch made4"); });
    EXPECT_EQ(result, "");
    EXPECT_STREQ(fs_newest_file(s.path(dir).c_str(), "$(touch made5)"), "");
    // a star in the directory is taken as it stands, not as a pattern
    EXPECT_STREQ(fs_newest_file(s.path("*").c_str(), "log"), "");
    ASSERT_EQ(chdir(cwd), 0);
    for (const char* made : {"made1", "made2", "made3", "made4", "made5"}) EXPECT_FALSE(s.exists(made)) << made;
}

TEST(OldestNewest, ListThroughAPrivateFileThatIsRemoved) {
    Scratch s;
    make_logs(s, "d");
    // a link planted at the old fixed name must not be written through
    bool planted = symlink(s.path("victim").c_str(), "/tmp/filelist") == 0;
    g_made_lists.clear();
    std::string result;
    capture_stdout(s, [&] { result = fs_oldest_file(s.path("d").c_str(), "log"); });
    EXPECT_EQ(result, s.path("d") + "/a.log\n");
    if (planted) {
        unlink("/tmp/filelist");
        EXPECT_FALSE(s.exists("victim"));
    }
    ASSERT_EQ(g_made_lists.size(), 1u);
    const MadeList& list = g_made_lists[0];
    EXPECT_EQ(list.path.rfind("/tmp/filelist.", 0), 0u) << list.path;
    EXPECT_EQ(list.mode, 0600u) << list.path;
    struct stat st;
    EXPECT_NE(lstat(list.path.c_str(), &st), 0) << list.path << " is left behind";
}

TEST(OldestNewest, GiveEmptyTextForACommandTooLongForItsArea) {
    Scratch s;
    // the scratch directory and a name together make directories of the
    // longest lengths that still fit: 205 and 233 with the extension "log"
    std::string base = s.path("");
    std::string oldest_fits = std::string(205 - 3 - base.size() - 1, 'o');
    std::string newest_fits = std::string(233 - 3 - base.size() - 1, 'n');
    for (const std::string& name : {oldest_fits, oldest_fits + "o", newest_fits, newest_fits + "n"}) make_logs(s, name);
    std::string result;
    capture_stdout(s, [&] { result = fs_oldest_file(s.path(oldest_fits).c_str(), "log"); });
    EXPECT_EQ(result, s.path(oldest_fits) + "/a.log\n");
    std::string out = capture_stdout(s, [&] { result = fs_oldest_file(s.path(oldest_fits + "o").c_str(), "log"); });
    EXPECT_EQ(result, "");
    EXPECT_EQ(out, " Old? -> \n");
    EXPECT_EQ(std::string(fs_newest_file(s.path(newest_fits).c_str(), "log")), s.path(newest_fits) + "/b.log\n");
    EXPECT_STREQ(fs_newest_file(s.path(newest_fits + "n").c_str(), "log"), "");
}

TEST(BaseName, GivesTheTextAfterTheLastSlash) {
    EXPECT_STREQ(fs_base_name("/a/b/c.txt"), "c.txt");
    EXPECT_STREQ(fs_base_name("a/b"), "b");
    EXPECT_STREQ(fs_base_name("/a/b/"), "");
    EXPECT_STREQ(fs_base_name("/"), "");
    fs_base_name("/a/earlier");
    EXPECT_STREQ(fs_base_name("plain.txt"), "plain.txt");
    EXPECT_STREQ(fs_base_name(""), "");
}

TEST(BaseName, GivesEmptyTextForAPathTooLongForItsCopy) {
    std::string longest = "/" + std::string(254, 'x');
    EXPECT_EQ(std::string(fs_base_name(longest.c_str())), std::string(254, 'x'));
    EXPECT_STREQ(fs_base_name((longest + "y").c_str()), "");
    EXPECT_STREQ(fs_base_name((std::string(300, 'x') + "/tail").c_str()), "");
}

}  // namespace
