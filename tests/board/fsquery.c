/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* A C caller of the utility library, run on the board with its own shell and
 * ls: fsquery DIR EXT [NAME...] gives the files NAME of DIR modification
 * times a minute apart, the first the oldest, then prints the oldest and the
 * newest file of DIR with the extension EXT (fs_oldest_file prints its own
 * line, the newest follows as " New? -> " and the result). */
#include <stdio.h>
#include <sys/time.h>

#include <boardutil/boardutil.h>

enum { kFirstTime = 1000000000 };

int main(int argc, char** argv) {
    struct timeval times[2] = {{0, 0}, {0, 0}};
    char path[512];
    int i;

    if (argc < 3) return 2;
    for (i = 3; i < argc; ++i) {
        times[0].tv_sec = times[1].tv_sec = kFirstTime + 60 * (i - 3);
        if (snprintf(path, sizeof path, "%s/%s", argv[1], argv[i]) >= (int)sizeof path) return 2;
        if (utimes(path, times) != 0) {
            perror(path);
            return 2;
        }
    }
    fs_oldest_file(argv[1], argv[2]);
    printf(" New? -> %s\n", fs_newest_file(argv[1], argv[2]));
    return 0;
}
