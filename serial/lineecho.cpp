// lineecho: sends back on the board's serial line every burst of bytes that
// it receives there, up to the burst's first zero byte, and prints each burst.
#include <cstdio>
#include <cstring>

#include "board_line.h"
#include "std_streams.h"

int main() {
    if (std_streams_reserve() != 0) return 0;
    // runs until stopped, often into a log: a signal must not lose a line
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int fd = board_line_open();
    if (fd <= 0) return 0;

    char burst[kReceiveArea];
    for (;;) {
        // the line's read timer paces an idle line: ten empty reads a second
        int got = serial_read_until_idle(fd, burst, kBurstCapacity);
        if (got <= 0) continue;
        burst[got] = '\0';
        std::printf("buf[%s]\n", burst);
        serial_write(fd, burst, static_cast<int>(std::strlen(burst)));
    }
}
