// SPDX-License-Identifier: MIT WITH fmt-exception
// lineecho: sends back on the board's serial line every burst of bytes that
// it receives there, up to the burst's first zero byte, and prints each burst.
#include <cstring>
#include <time.h>

#include "board_line.h"
#include "std_streams.h"

namespace {

constexpr long long kReadTimerNs = 100'000'000;  // the line's 0.1 s read timer
// loopcheck's failure status, for a report line lost or a start refused: 0
// already means that the line did not open, and a stop by a signal gives 128
// and more
constexpr int kStatusFailed = 1;

long long now_ns() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

// A dead line (its far end closed, the adapter pulled out) fails a read, or
// ends it empty, at once rather than after the read timer. Waits out the rest
// of the timer, so that such a line is polled no more often than an idle one
// and the processor stays free for the board's controller software.
void pace_empty_read(long long started) {
    long long left = kReadTimerNs - (now_ns() - started);
    if (left <= 0) return;
    struct timespec t = {0, static_cast<long>(left)};
    nanosleep(&t, nullptr);
}

}  // namespace

int main() {
    if (std_streams_reserve("lineecho") != 0) return kStatusFailed;
    int fd = board_line_open();
    if (fd < 0) return 0;

    char burst[kReceiveArea];
    for (;;) {
        // the line's read timer paces an idle line: ten empty reads a second
        long long started = now_ns();
        int got = serial_read_until_idle(fd, burst, kBurstCapacity);
        if (got <= 0) {
            pace_empty_read(started);
            continue;
        }
        burst[got] = '\0';
        std_streams_print("buf[%s]\n", burst);
        bool reported = std_streams_flush();
        // the burst that came still goes back
        serial_write(fd, burst, static_cast<int>(std::strlen(burst)));
        if (!reported) return kStatusFailed;
    }
}
