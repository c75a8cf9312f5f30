// SPDX-License-Identifier: MIT WITH fmt-exception
// brantle against a per-byte reference: random files and limits, many of
// them around the program's read blocks. The build names the program
// (BRANTLE_PATH) and the command that runs it (BRANTLE_EMULATOR, empty on the
// host).
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "scratch.h"

namespace {

// What the plain loop prints: one byte, "%02x", then the limit test. The
// pairs are the C library's, made once for every byte value: made for every
// byte, they took most of the test's time under the emulator.
std::string reference_dump(const std::string& bytes, int limit) {
    static char pairs[256][3];
    if (pairs[0][0] == '\0')
        for (int v = 0; v < 256; ++v) std::snprintf(pairs[v], sizeof pairs[v], "%02x", v);
    std::string out;
    int count = 0;
    for (unsigned char c : bytes) {
        out.append(pairs[c], 2);
        if (++count >= limit) break;
    }
    return out;
}

struct Outcome {
    std::string out;
    int status = -1;
};

Outcome run_brantle(const Scratch& s, const std::string& file, const std::string& limit) {
    std::vector<std::string> words;
    std::string emulator = BRANTLE_EMULATOR;
    for (size_t at = 0; at < emulator.size();) {
        size_t end = emulator.find(' ', at);
        if (end == std::string::npos) end = emulator.size();
        if (end > at) words.push_back(emulator.substr(at, end - at));
        at = end + 1;
    }
    words.push_back(BRANTLE_PATH);
    words.push_back(s.path(file));
    words.push_back(limit);
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    Outcome run;
    std::string out_path = s.path("out");
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int wstatus = 0;
    if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    run.out = s.read("out");
    return run;
}

constexpr long kBlock = 16 * 1024;  // brantle's read block; sizes below straddle it

TEST(Brantle, MatchesThePerByteLoopOnRandomFilesAndLimits) {
    Scratch s;
    std::mt19937 random(20261208);
    std::vector<long> sizes = {0, 1, 2, 3, kBlock - 1, kBlock, kBlock + 1, 2 * kBlock + 7, 40 * kBlock + 3};
    for (int i = 0; i < 4; ++i) sizes.push_back(static_cast<long>(random() % (3 * kBlock)));
    // limits as text, with the value the board's atoi gives them
    const std::vector<std::pair<std::string, int>> fixed = {
        {"0", 0}, {"-1", -1}, {"-2147483648", -2147483648}, {"x12", 0}, {"", 0}, {"2147483647", 2147483647}};
    for (long size : sizes) {
        std::string bytes(static_cast<size_t>(size), '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        s.write("f", 0, bytes);
        ASSERT_EQ(truncate(s.path("f").c_str(), size), 0);
        std::vector<std::pair<std::string, int>> limits = fixed;
        for (long limit : {size - 1, size, size + 1, kBlock - 1, kBlock, kBlock + 1, static_cast<long>(random() % (size + 2))})
            if (limit >= 0) limits.push_back({std::to_string(limit), static_cast<int>(limit)});
        for (auto& [text, value] : limits) {
            Outcome run = run_brantle(s, "f", text);
            EXPECT_EQ(run.status, 0) << "size " << size << ", limit '" << text << "'";
            // compared whole, but reported by length first so a failure stays short
            std::string expected = reference_dump(bytes, value);
            ASSERT_EQ(run.out.size(), expected.size()) << "size " << size << ", limit '" << text << "'";
            EXPECT_TRUE(run.out == expected) << "size " << size << ", limit '" << text << "'";
        }
    }
}

}  // namespace
