// SPDX-License-Identifier: MIT WITH fmt-exception
// holdlock: holds an exclusive flock on a path for a while, as another
// process holding the page store would (a stopped run, a backup's flock).
//
//   holdlock PATH SECONDS MARK [WATCHED]
//
// MARK is made once the lock is held, for a case to await. With WATCHED,
// just before letting go of the lock it writes into MARK "WATCHED absent\n"
// or "WATCHED present\n": whether anything has appeared there meanwhile.
// Exit status: 0, or 1 when PATH does not open or lock.
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) return 2;
    int fd = open(argv[1], O_RDONLY);
    int mark = fd >= 0 && flock(fd, LOCK_EX) == 0 ? open(argv[3], O_WRONLY | O_CREAT, 0644) : -1;
    if (mark < 0) return 1;
    sleep(static_cast<unsigned>(std::atoi(argv[2])));
    if (argc == 5) {
        struct stat st;
        std::string seen = std::string(argv[4]) + (lstat(argv[4], &st) == 0 ? " present\n" : " absent\n");
        if (write(mark, seen.data(), seen.size()) != static_cast<ssize_t>(seen.size())) return 1;
    }
    return 0;
}
