// SPDX-License-Identifier: MIT WITH fmt-exception
// A scratch directory for one test, removed with everything in it at the end.
#pragma once
#include <string>

class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // Absolute path of name inside the directory.
    std::string path(const std::string& name) const;
    // Writes bytes at offset into the file, creating it and its parents.
    void write(const std::string& name, long offset, const std::string& bytes) const;
    void mkdirs(const std::string& name) const;
    // The whole file, or "<missing>" when it cannot be read.
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;  // lstat: links count too

private:
    std::string root_;
};
