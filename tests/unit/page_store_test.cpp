// SPDX-License-Identifier: MIT WITH fmt-exception
#include "page_store.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "scratch.h"

namespace {

struct Place {
    const char* chunk;
    int offset;
};

// Where the pages in use lie, as the old controller laid them out.
constexpr Place kTaskPlace[10] = {{"0044", 0x0000}, {"0044", 0x2000}, {"0044", 0x4000}, {"0044", 0x6000},
                                  {"0044", 0x8000}, {"0044", 0xA000}, {"0044", 0xC000}, {"0044", 0xE000},
                                  {"0045", 0x0000}, {"0045", 0x2000}};
constexpr Place kSubPlace[10] = {{"0045", 0x4000}, {"0045", 0x6000}, {"0045", 0x8000}, {"0045", 0xA000},
                                 {"0045", 0xC000}, {"0045", 0xE000}, {"0046", 0x0000}, {"0046", 0x2000},
                                 {"0046", 0x4000}, {"0046", 0x6000}};

std::string task_file(int n) { return "task_" + std::to_string(n) + ".dat"; }
std::string sub_file(int n) { return "sub_" + std::to_string(n) + ".dat"; }

// A full store of three 64 KiB chunk files.
void make_store(const Scratch& s, const std::string& dir) {
    for (const char* chunk : {"0044", "0045", "0046"}) s.write(dir + "/" + chunk, 0, std::string(kChunkSize, 'x'));
}

TEST(FileRead, UsesOnlyTheLowSixteenBitsOfTheOffset) {
    Scratch s;
    s.write("c", 0, std::string(0x4000, 'a'));
    s.write("c", 0x2000, "page two");
    char buf[kPageSize];
    EXPECT_EQ(fileRead(s.path("c").c_str(), 0x12000, buf), 0x2000);
    EXPECT_EQ(std::string(buf, 8), "page two");
}

TEST(FileRead, ClearsTheBufferBeyondAShortRead) {
    Scratch s;
    s.write("c", 0, "0123456789");
    char buf[kPageSize];
    std::memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(fileRead(s.path("c").c_str(), 0, buf), 10);
    EXPECT_EQ(std::string(buf, 10), "0123456789");
    EXPECT_EQ(std::string(buf + 10, kPageSize - 10), std::string(kPageSize - 10, '\0'));
}

TEST(FileRead, ReportsEndOfFileMissingFileAndReadError) {
    Scratch s;
    s.write("c", 0, "abc");
    char buf[kPageSize];
    EXPECT_EQ(fileRead(s.path("c").c_str(), 3, buf), 0);
    EXPECT_EQ(fileRead(s.path("missing").c_str(), 0, buf), -1);
    EXPECT_EQ(fileRead(s.path("").c_str(), 0, buf), -1);  // a directory opens but cannot be read
}

TEST(IsType, TellsDirectoriesFromOtherThingsThroughLinks) {
    Scratch s;
    s.mkdirs("d");
    s.write("f", 0, "x");
    ASSERT_EQ(symlink("d", s.path("to_d").c_str()), 0);
    ASSERT_EQ(symlink("f", s.path("to_f").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", s.path("dangling").c_str()), 0);
    EXPECT_EQ(is_type(s.path("d").c_str()), 1);
    EXPECT_EQ(is_type(s.path("f").c_str()), 2);
    EXPECT_EQ(is_type(s.path("to_d").c_str()), 1);
    EXPECT_EQ(is_type(s.path("to_f").c_str()), 2);
    EXPECT_EQ(is_type(s.path("dangling").c_str()), -1);
    EXPECT_EQ(is_type(s.path("missing").c_str()), -1);
    EXPECT_EQ(is_type(""), -1);
}

// Random pages, each with its first zero byte somewhere or nowhere, laid out
// by the placement table: every page file must hold its page's text.
TEST(Extraction, FindsEveryPageAtItsPlaceAndCarriesItsTextUpToTheFirstZero) {
    Scratch s;
    std::mt19937 rng(2026);
    for (int round = 0; round < 4; ++round) {
        std::string dir = "store" + std::to_string(round);
        make_store(s, dir);
        std::string task_text[10], sub_text[10];
        auto fill = [&](const Place& p, std::string& text) {
            std::string page(kPageSize, '\0');
            for (char& c : page) c = static_cast<char>(1 + rng() % 255);
            int zero = static_cast<int>(rng() % (kPageSize + 200));  // past the end: no zero at all
            if (zero < kPageSize) page[zero] = '\0';
            text = page.substr(0, page.find('\0'));
            s.write(dir + "/" + p.chunk, p.offset, page);
        };
        for (int n = 0; n < 10; ++n) fill(kTaskPlace[n], task_text[n]);
        for (int n = 0; n < 10; ++n) fill(kSubPlace[n], sub_text[n]);
        std::string d = s.path(dir);
        for (int n = 0; n < 10; ++n) EXPECT_EQ(TaskSave(n, d.c_str()), kPageSize);
        for (int n = 0; n < 10; ++n) EXPECT_EQ(TaskSubSave(n, d.c_str()), kPageSize);
        for (int n = 0; n < 10; ++n) {
            EXPECT_EQ(s.read(dir + "/" + task_file(n)), task_text[n]) << "task page " << n;
            EXPECT_EQ(s.read(dir + "/" + sub_file(n)), sub_text[n]) << "sub page " << n;
        }
    }
}

TEST(Extraction, ChunkLengthDecidesBetweenNotFoundAndAShortPage) {
    Scratch s;
    s.write("0044", 0, std::string(0x2000, 'a'));  // ends where task page 1 begins
    s.write("0044", 0x2000 - 3, std::string("abc"));
    EXPECT_EQ(TaskSave(1, s.path("").c_str()), 0);
    EXPECT_FALSE(s.exists(task_file(1)));

    s.write("0044", 0x2000, std::string("short page") + '\0' + "tail");
    EXPECT_EQ(TaskSave(1, s.path("").c_str()), 15);
    EXPECT_EQ(s.read(task_file(1)), "short page");
}

TEST(Extraction, FullPageIsCarriedWholeAndAPageStartingWithZeroGivesAnEmptyFile) {
    Scratch s;
    make_store(s, "");
    s.write("0044", 0x2000, std::string(1, '\0'));
    EXPECT_EQ(TaskSave(0, s.path("").c_str()), kPageSize);
    EXPECT_EQ(s.read(task_file(0)), std::string(kPageSize, 'x'));
    EXPECT_EQ(TaskSave(1, s.path("").c_str()), kPageSize);
    EXPECT_EQ(s.read(task_file(1)), "");
}

TEST(Extraction, ExistingPageFileIsKeptWithoutLookingAtTheChunk) {
    Scratch s;
    s.write(task_file(3), 0, "keep me");
    EXPECT_EQ(TaskSave(3, s.path("").c_str()), kPageExists);
    EXPECT_EQ(s.read(task_file(3)), "keep me");
}

TEST(Extraction, MissingChunkFailsOnlyThePagesItHolds) {
    Scratch s;
    make_store(s, "");
    ASSERT_EQ(unlink(s.path("0045").c_str()), 0);
    std::string dir = s.path("");
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(TaskSave(n, dir.c_str()), n >= 8 ? kPageOpenError : kPageSize) << "task page " << n;
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(TaskSubSave(n, dir.c_str()), n <= 5 ? kPageOpenError : kPageSize) << "sub page " << n;
}

TEST(Extraction, DirectoryAtThePagePathIsAWriteError) {
    Scratch s;
    make_store(s, "");
    s.mkdirs(task_file(0));
    s.mkdirs("real_dir");
    ASSERT_EQ(symlink("real_dir", s.path(sub_file(0)).c_str()), 0);
    EXPECT_EQ(TaskSave(0, s.path("").c_str()), kPageWriteError);
    EXPECT_EQ(TaskSubSave(0, s.path("").c_str()), kPageWriteError);
    EXPECT_EQ(is_type(s.path(task_file(0)).c_str()), 1);
}

TEST(Extraction, DanglingLinkAtThePagePathIsNeverFollowed) {
    Scratch s;
    make_store(s, "store");
    s.mkdirs("outside");
    ASSERT_EQ(symlink("../outside/target", s.path("store/" + task_file(0)).c_str()), 0);
    EXPECT_EQ(TaskSave(0, s.path("store").c_str()), kPageExists);
    EXPECT_FALSE(s.exists("outside/target"));
}

TEST(Extraction, PageFileTakesTheDefaultPermissionsLessTheUmask) {
    Scratch s;
    make_store(s, "");
    mode_t old = umask(027);
    int r = TaskSave(0, s.path("").c_str());
    umask(old);
    EXPECT_EQ(r, kPageSize);
    struct stat st;
    ASSERT_EQ(stat(s.path(task_file(0)).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A file size limit makes the write fail part way; the page file must not stay
// behind cut off, where the next run would take it for a finished one.
TEST(Extraction, FailedWriteIsReportedAndLeavesNoPageFile) {
    Scratch s;
    make_store(s, "");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rlimit rl = {100, 100};
        setrlimit(RLIMIT_FSIZE, &rl);
        signal(SIGXFSZ, SIG_IGN);
        _exit(TaskSave(0, s.path("").c_str()) == kPageWriteError ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(s.exists(task_file(0)));
}

TEST(Extraction, LongestDirectoryWorksAndALongerOneTouchesNothing) {
    Scratch s;
    std::string base = s.path("");
    // components below the 255-byte name limit, the whole exactly kDirArea - 1
    std::string dir = base;
    while (dir.size() + 201 < static_cast<size_t>(kDirArea - 1)) dir += "/" + std::string(200, 'd');
    dir += '/';
    dir.append(kDirArea - 1 - dir.size(), 'e');
    ASSERT_EQ(dir.size(), static_cast<size_t>(kDirArea - 1));
    std::string rel = dir.substr(base.size() + 1);
    make_store(s, rel);
    EXPECT_EQ(TaskSave(9, dir.c_str()), kPageSize);
    EXPECT_EQ(s.read(rel + "/" + task_file(9)), std::string(kPageSize, 'x'));

    std::string longer = dir + "f";
    make_store(s, longer.substr(base.size() + 1));
    EXPECT_EQ(TaskSave(0, longer.c_str()), kPageOpenError);
    EXPECT_FALSE(s.exists(longer.substr(base.size() + 1) + "/" + task_file(0)));
}

// A cut or a signal between creating the temporary file and renaming it
// leaves it behind: the next run must not trip over it nor leave it.
TEST(Durability, LeftoverTemporaryFileIsRemovedAndThePageWritten) {
    Scratch s;
    make_store(s, "");
    s.write(task_file(3) + kTempSuffix, 0, "cut off");
    EXPECT_EQ(TaskSave(3, s.path("").c_str()), kPageSize);
    EXPECT_EQ(s.read(task_file(3)), std::string(kPageSize, 'x'));
    EXPECT_FALSE(s.exists(task_file(3) + kTempSuffix));
}

TEST(Durability, ExistingPageFileIsUntouchedAndALeftoverBesideItRemoved) {
    Scratch s;
    make_store(s, "");
    s.write(sub_file(2), 0, "keep me");
    s.write(sub_file(2) + kTempSuffix, 0, "cut off");
    EXPECT_EQ(TaskSubSave(2, s.path("").c_str()), kPageExists);
    EXPECT_EQ(s.read(sub_file(2)), "keep me");
    EXPECT_FALSE(s.exists(sub_file(2) + kTempSuffix));
}

TEST(Durability, LinkAtTheTemporaryNameIsNeverFollowed) {
    Scratch s;
    make_store(s, "store");
    s.mkdirs("outside");
    ASSERT_EQ(symlink("../outside/target", s.path("store/" + task_file(0) + kTempSuffix).c_str()), 0);
    EXPECT_EQ(TaskSave(0, s.path("store").c_str()), kPageSize);
    EXPECT_FALSE(s.exists("outside/target"));
    EXPECT_EQ(s.read("store/" + task_file(0)), std::string(kPageSize, 'x'));
}

TEST(Durability, ARunLeavesTheDirectoryWithNothingButTheChunksAndThePageFiles) {
    Scratch s;
    make_store(s, "");
    for (int n = 0; n < 10; ++n) EXPECT_EQ(TaskSave(n, s.path("").c_str()), kPageSize);
    for (int n = 0; n < 10; ++n) EXPECT_EQ(TaskSubSave(n, s.path("").c_str()), kPageSize);
    std::set<std::string> names, expected = {"0044", "0045", "0046"};
    for (int n = 0; n < 10; ++n) expected.insert({task_file(n), sub_file(n)});
    DIR* d = opendir(s.path("").c_str());
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
    closedir(d);
    EXPECT_EQ(names, expected);
}

// Whether the kernel lists pid as waiting for a lock.
bool waits_for_a_lock(pid_t pid) {
    FILE* f = std::fopen("/proc/locks", "r");
    if (!f) return false;
    char line[256];
    std::string mark = ' ' + std::to_string(pid) + ' ';
    bool waiting = false;
    while (!waiting && std::fgets(line, sizeof line, f))
        waiting = std::strstr(line, "-> FLOCK") && std::strstr(line, mark.c_str());
    std::fclose(f);
    return waiting;
}

// A first run holds the store while it writes task page 0. A second run must
// wait before it touches anything, the first run's temporary file included,
// and then find the page that the first one named.
TEST(Durability, ASecondRunWaitsForTheStoreAndThenFindsThePageThere) {
    Scratch s;
    make_store(s, "");
    s.write(task_file(0) + kTempSuffix, 0, "the first run's page");
    int held = open(s.path("").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    pid_t second = fork();
    if (second == 0) {
        close(held);  // shares the lock of the first run's descriptor
        _exit(TaskSave(0, s.path("").c_str()) == kPageExists ? 0 : 1);
    }
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 3000 && !ended && !waits_for_a_lock(second); ++i) {
        ended = waitpid(second, &status, WNOHANG) == second;
        usleep(10000);
    }
    EXPECT_FALSE(ended) << "the second run went ahead while the store was held";
    EXPECT_EQ(s.read(task_file(0) + kTempSuffix), "the first run's page");
    // the first run names its page and lets go
    ASSERT_EQ(rename(s.path(task_file(0) + kTempSuffix).c_str(), s.path(task_file(0)).c_str()), 0);
    close(held);
    if (!ended) {
        ASSERT_EQ(waitpid(second, &status, 0), second);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the second run did not find the page there";
    EXPECT_EQ(s.read(task_file(0)), "the first run's page");
}

// Another process takes the store before each of two saves of one process:
// the waiting line comes once per process, not once per wait.
TEST(Durability, TheWaitingLineComesOncePerProcessHoweverOftenItWaits) {
    Scratch s;
    make_store(s, "");
    std::string dir = s.path("");
    int done[2], go[2];
    ASSERT_EQ(pipe(done) | pipe(go), 0);
    int held = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    pid_t saver = fork();
    if (saver == 0) {
        close(held);  // shares the lock of the holder's descriptor
        dup2(open(s.path("err").c_str(), O_WRONLY | O_CREAT, 0644), STDERR_FILENO);
        char c = 0;
        bool saved = TaskSave(0, dir.c_str()) > 0 && write(done[1], "", 1) == 1 && read(go[0], &c, 1) == 1 &&
                     TaskSave(1, dir.c_str()) > 0;
        _exit(saved ? 0 : 1);
    }
    auto let_go_once_it_waits = [&] {
        for (int i = 0; i < 3000 && !waits_for_a_lock(saver); ++i) usleep(10000);
        close(held);
    };
    let_go_once_it_waits();
    char c = 0;
    ASSERT_EQ(read(done[0], &c, 1), 1);
    held = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ASSERT_EQ(write(go[1], "", 1), 1);
    let_go_once_it_waits();
    ASSERT_EQ(waitpid(saver, nullptr, 0), saver);
    EXPECT_EQ(s.read("err"), "sorbelt: " + dir + " is in use by another process; waiting\n");
}

// The program with standard output a pipe, held at task page 8 by a FIFO in
// place of chunk file 0045: the lines of the eight pages before must be out.
TEST(Sorbelt, ReportsEachPageAsSoonAsItIsDoneEvenIntoAPipe) {
    Scratch s;
    make_store(s, "");
    ASSERT_EQ(unlink(s.path("0045").c_str()), 0);
    ASSERT_EQ(mkfifo(s.path("0045").c_str(), 0600), 0);
    std::string command = std::string(SORBELT_EMULATOR) + " " + SORBELT_PATH + " " + s.path("");
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string got;
    pollfd ready = {fileno(out), POLLIN, 0};
    char buf[512];
    while (std::count(got.begin(), got.end(), '\n') < 8 && poll(&ready, 1, 20000) == 1) {
        ssize_t r = read(fileno(out), buf, sizeof buf);
        if (r <= 0) break;
        got.append(buf, static_cast<size_t>(r));
    }
    int writer = open(s.path("0045").c_str(), O_RDWR);  // lets the run go on
    std::string expected;
    for (int n = 0; n < 8; ++n) expected += task_file(n) + " => write ok.\n";
    EXPECT_EQ(got, expected);
    while (fgets(buf, sizeof buf, out)) {
    }
    EXPECT_EQ(pclose(out), 0);
    close(writer);
}

// Standard output open for reading only: every page is converted all the
// same, and the lost report is said once and fails the run.
TEST(Sorbelt, AReportThatCannotBeWrittenIsSaidOnceAndFailsTheRun) {
    Scratch s;
    make_store(s, "");
    std::string command = std::string(SORBELT_EMULATOR) + " " + SORBELT_PATH + " " + s.path("") + " 1</tmp 2>" +
                          s.path("err");
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(s.read("err"), "stdout: Bad file descriptor\n");
    EXPECT_EQ(s.read(sub_file(9)), std::string(kPageSize, 'x'));
}

}  // namespace
