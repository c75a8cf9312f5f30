// SPDX-License-Identifier: MIT WITH fmt-exception
// The floor under brantle's speed: reads a file in brantle's blocks (16 KiB)
// and writes as many bytes as brantle would, without encoding them.
//   brantle-floor FILE
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kReadBlock = 16 * 1024;  // as in dumptool/brantle.cpp
char g_in[kReadBlock];
char g_out[2 * kReadBlock];
}  // namespace

int main(int argc, char** argv) {
    int fd = argc == 2 ? open(argv[1], O_RDONLY) : -1;
    if (fd < 0) return 1;
    for (;;) {
        ssize_t got = read(fd, g_in, kReadBlock);
        if (got <= 0) return got < 0;
        for (ssize_t left = 2 * got; left > 0;) {
            ssize_t w = write(STDOUT_FILENO, g_out + 2 * got - left, static_cast<size_t>(left));
            if (w < 0) return 1;
            left -= w;
        }
    }
}
