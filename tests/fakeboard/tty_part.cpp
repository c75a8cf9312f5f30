// SPDX-License-Identifier: MIT WITH fmt-exception
// The board's serial line "/dev/ttyO1". FAKEBOARD_TTY names its stand-in: a
// pseudo-terminal whose other side the test drives, or a path that does not
// open. A stand-in that opens but is not a terminal is refused, as a missing
// line would be, so that a slip in a test never writes into a file. A pty has
// neither modem lines nor an RS-485 mode, so those requests are answered from
// a fake line state, and each is logged:
//   "ttyO1 TIOCMGET 0x..."   the modem-line word read
//   "ttyO1 TIOCMSET 0x..."   the word written; FAKEBOARD_TTY_MODEM sets the first
//   "ttyO1 TIOCSRS485 ARG"   the RS-485 request and its argument as given
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <linux/serial.h>  // struct serial_rs485, which some processors' TIOCSRS485 names
#include <sys/ioctl.h>
#include <unistd.h>

#include "fakeboard.h"

namespace {

constexpr int kPowerOnLines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;

bool g_have_lines = false;
int g_lines = 0;

int& lines() {
    if (!g_have_lines) {
        const char* first = std::getenv("FAKEBOARD_TTY_MODEM");
        g_lines = first ? static_cast<int>(std::strtol(first, nullptr, 0)) : kPowerOnLines;
        g_have_lines = true;
    }
    return g_lines;
}

bool tty_ioctl(int, unsigned long request, void* arg, int* result) {
    if (request == TIOCMGET) {
        *static_cast<int*>(arg) = lines();
        board_log("ttyO1 TIOCMGET 0x%03x", lines());
        *result = 0;
        return true;
    }
    if (request == TIOCMSET) {
        lines() = *static_cast<const int*>(arg);
        board_log("ttyO1 TIOCMSET 0x%03x", lines());
        *result = 0;
        return true;
    }
    if (request == TIOCSRS485) {
        // the argument is a record's address to the driver: log it as given
        board_log("ttyO1 TIOCSRS485 %#lx", reinterpret_cast<unsigned long>(arg));
        // a driver reading a record at a bad address refuses it so
        errno = EFAULT;
        *result = -1;
        return true;
    }
    return false;
}

bool tty_opened(int fd, int) {
    if (isatty(fd)) return true;
    std::fprintf(stderr, "fakeboard: FAKEBOARD_TTY %s is not a terminal; refused\n", std::getenv("FAKEBOARD_TTY"));
    errno = ENOTTY;
    return false;
}

}  // namespace

extern const DevicePart kTtyPart = {"/dev/ttyO1", "FAKEBOARD_TTY", tty_ioctl, tty_opened};
