// SPDX-License-Identifier: MIT
// holdlock: holds an exclusive flock on a path for a while, as another
// process holding the page store would (a stopped run, a backup's flock).
//
//   holdlock PATH SECONDS MARK
//
// MARK is made once the lock is held, for a case to await. Exit status: 0,
// or 1 when PATH does not open or lock.
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    int fd = open(argv[1], O_RDONLY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0 || open(argv[3], O_WRONLY | O_CREAT, 0644) < 0) return 1;
    sleep(static_cast<unsigned>(std::atoi(argv[2])));
    return 0;
}
