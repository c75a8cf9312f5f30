// SPDX-License-Identifier: MIT WITH fmt-exception
#include "scratch.h"

#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int remove_entry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }
}  // namespace

Scratch::Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string t = std::string(tmp && *tmp ? tmp : "/tmp") + "/unit.XXXXXX";
    char* made = mkdtemp(t.data());
    if (!made) ADD_FAILURE() << "cannot make a scratch directory";
    root_ = t;
}

Scratch::~Scratch() { nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

std::string Scratch::path(const std::string& name) const { return name.empty() ? root_ : root_ + "/" + name; }

void Scratch::mkdirs(const std::string& name) const {
    std::string p = path(name);
    for (size_t i = root_.size() + 1; i <= p.size(); ++i)
        if (i == p.size() || p[i] == '/') mkdir(p.substr(0, i).c_str(), 0755);
}

void Scratch::write(const std::string& name, long offset, const std::string& bytes) const {
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) mkdirs(name.substr(0, slash));
    int fd = open(path(name).c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

std::string Scratch::read(const std::string& name) const {
    int fd = open(path(name).c_str(), O_RDONLY);
    if (fd < 0) return "<missing>";
    std::string s;
    char buf[8192];
    ssize_t r;
    while ((r = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(r));
    close(fd);
    return s;
}

bool Scratch::exists(const std::string& name) const {
    struct stat st;
    return lstat(path(name).c_str(), &st) == 0;
}
