// SPDX-License-Identifier: MIT WITH fmt-exception
// sorbelt: turns the old task page store into one page file per page and
// reports each page on a line of its own.
#include <cstring>

#include "page_store.h"
#include "std_streams.h"

namespace {

constexpr char kUsage[] =
    "sorbelt option\n"
    "option=none      : use default path.(/home/CF)\n"
    "option=dir path  : read and write dir path.\n";
constexpr char kDirNotFound[] = "dir not found.\n";
constexpr char kDefaultDir[] = "/home/CF";
constexpr int kPagesPerKind = 10;

const char* report_text(int result) {
    if (result == kPageExists) return "already exists";
    if (result == kPageOpenError) return "old task page file open error.";
    if (result == kPageWriteError) return "write error.";
    if (result == kPageNotFound) return "old task page not found.";
    return "write ok.";
}

// Copies the argument into dir without one trailing slash. Returns false for
// an empty argument or one the directory area cannot hold, which would
// otherwise be cut and so name another directory.
bool take_dir(const char* arg, char* dir) {
    size_t length = std::strlen(arg);
    if (length == 0 || length >= static_cast<size_t>(kDirArea)) return false;
    std::memcpy(dir, arg, length + 1);
    if (dir[length - 1] == '/') dir[length - 1] = '\0';
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (std_streams_reserve("sorbelt") != 0) return 1;
    char dir[kDirArea] = {};
    if (argc > 2) {
        std_streams_say(kUsage);
        return 1;
    }
    if (argc == 2) {
        if (!take_dir(argv[1], dir) || is_type(dir) != 1) {
            std_streams_say(kDirNotFound);
            return 1;
        }
    } else {
        std::memcpy(dir, kDefaultDir, sizeof kDefaultDir);
    }

    // a line per page as soon as it is done, into a pipe or a log file too: a
    // log of a run that was cut short lists the pages that are on the storage;
    // a line lost does not stop the conversion, but the run then fails
    bool reported = true;
    for (int n = 0; n < kPagesPerKind; ++n) {
        std_streams_print("task_%d.dat => %s\n", n, report_text(TaskSave(n, dir)));
        reported = std_streams_flush() && reported;
    }
    for (int n = 0; n < kPagesPerKind; ++n) {
        std_streams_print("sub_%d.dat => %s\n", n, report_text(TaskSubSave(n, dir)));
        reported = std_streams_flush() && reported;
    }
    return reported ? 0 : 1;
}
