// lineecho: sends back on the board's serial line every burst of bytes that
// it receives there, up to the burst's first zero byte, and prints each burst.
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>

#include "serial_port.h"

namespace {

constexpr char kDevice[] = "/dev/ttyO1";
constexpr int kSpeed = 115200;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
// TIOCSRS485 in the Linux numbering, given the plain value 1, not a record
constexpr unsigned long kRs485Request = 0x542F;
constexpr unsigned long kRs485Value = 1;

constexpr int kBurstCapacity = 256;
constexpr int kReceiveArea = kBurstCapacity + 1;  // a full burst keeps its terminating zero

}  // namespace

int main() {
    // runs until stopped, often into a log: a signal must not lose a line
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int fd = serial_open(kDevice, kSpeed, kDataBits, kStopBits, kParityEven);
    if (fd <= 0) return 0;
    ioctl(fd, kRs485Request, kRs485Value);

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
