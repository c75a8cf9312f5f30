// SPDX-License-Identifier: MIT WITH fmt-exception
// loopcheck: tests the board's serial line through a connector that joins
// its output to its input. Sends numbered test lines, prints what goes out
// and what comes back, and stops at the first answer that differs.
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "board_line.h"
#include "std_streams.h"

namespace {

constexpr char kPatternUnit[] = "1234567890";
constexpr int kPatternUnits = 4;
constexpr int kPatternArea = (sizeof kPatternUnit - 1) * kPatternUnits + 1;
constexpr char kLineFormat[] = "test_data[%s](%d)";
constexpr char kMismatch[] = "compare falt !\n";
constexpr int kTextArea = 256;
constexpr int kEmptyReadsPerCycle = 5;  // the cycle ends at the read after these
constexpr unsigned kPauseSeconds = 1;
constexpr int kStatusFailed = 1;  // an answer differed, a report line was lost, or the program cannot run

}  // namespace

int main() {
    if (std_streams_reserve("loopcheck") != 0) return kStatusFailed;
    int fd = board_line_open();
    if (fd < 0) return 0;

    char pattern[kPatternArea] = {};
    // NOLINTNEXTLINE(clang-analyzer-security.insecureAPI.strcpy): the area holds the units and the end
    for (int i = 0; i < kPatternUnits; ++i) std::strcat(pattern, kPatternUnit);

    char line[kTextArea];
    char received[kReceiveArea];
    for (int number = 1;; ++number) {
        std::snprintf(line, sizeof line, kLineFormat, pattern, number);
        int length = static_cast<int>(std::strlen(line));
        std_streams_print("send buf[%s]\n", line);
        // a test that nobody sees is not run on
        if (!std_streams_flush()) return kStatusFailed;
        serial_write(fd, line, length);
        for (int empty_reads = 0;;) {
            int got = serial_read_until_idle(fd, received, kBurstCapacity);
            if (got > 0) {
                received[got] = '\0';
                std_streams_print("rbuf[%s]\n", received);
                if (!std_streams_flush()) return kStatusFailed;
                // a prefix test: bytes after the test line in the same burst pass
                if (std::memcmp(received, line, static_cast<size_t>(length)) != 0) {
                    std_streams_put(kMismatch);
                    (void)std_streams_flush();
                    return kStatusFailed;
                }
                break;
            }
            if (++empty_reads > kEmptyReadsPerCycle) break;
            sleep(kPauseSeconds);
        }
        sleep(kPauseSeconds);
    }
}
