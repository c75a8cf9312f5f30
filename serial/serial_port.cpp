// SPDX-License-Identifier: MIT WITH fmt-exception
#include "serial_port.h"

#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "std_streams.h"

struct termios saved_settings;
struct termios line_settings;
uint8_t last_byte;
int last_read_count;

namespace {

constexpr cc_t kReadTimer = 1;  // tenths of a second a read waits for its first byte

struct SpeedCode {
    int speed;
    speed_t code;
};

constexpr SpeedCode kSpeeds[] = {{2400, B2400},   {4800, B4800},   {9600, B9600},    {19200, B19200},
                                 {38400, B38400}, {57600, B57600}, {115200, B115200}};
constexpr speed_t kDefaultSpeed = B9600;

speed_t speed_code(int speed) {
    for (const SpeedCode& s : kSpeeds) {
        // cppcheck-suppress useStlAlgorithm ; a plain loop over seven rows reads best
        if (s.speed == speed) return s.code;
    }
    return kDefaultSpeed;
}

tcflag_t parity_bits(int parity) {
    if (parity == kParityEven) return PARENB;
    if (parity == kParityOdd) return PARENB | PARODD;
    return 0;
}

int set_modem_line(int fd, int line, int on) {
    int word = 0;
    // an unread word would write back arbitrary lines
    if (ioctl(fd, TIOCMGET, &word) < 0) return -1;
    word &= ~line;
    if (on) word |= line;
    return ioctl(fd, TIOCMSET, &word);
}

}  // namespace

int serial_open(const char* path, int speed, int data_bits, int stop_bits, int parity) {
    int fd = open(path, O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std_streams_perror(path);
        return -1;
    }
    tcgetattr(fd, &saved_settings);

    std::memset(&line_settings, 0, sizeof line_settings);
    speed_t code = speed_code(speed);
    line_settings.c_cflag = code;
    line_settings.c_cflag |= data_bits == 7 ? CS7 : CS8;
    if (stop_bits == 2) line_settings.c_cflag |= CSTOPB;
    line_settings.c_cflag |= parity_bits(parity);
    line_settings.c_cflag |= CLOCAL | CREAD;
    line_settings.c_iflag = IGNBRK | IGNPAR;
// glibc defines it 0 where termios has no such fields (mips)
#if defined(_HAVE_STRUCT_TERMIOS_C_ISPEED) && _HAVE_STRUCT_TERMIOS_C_ISPEED
    line_settings.c_ispeed = code;
    line_settings.c_ospeed = code;
#endif
    line_settings.c_cc[VTIME] = kReadTimer;
    line_settings.c_cc[VMIN] = 0;

    tcflush(fd, TCIFLUSH);
    tcsetattr(fd, TCSADRAIN, &line_settings);
    return fd;
}

int serial_close(int fd) {
    tcsetattr(fd, TCSADRAIN, &saved_settings);
    return close(fd);
}

int serial_write_byte(int fd, int value) {
    uint8_t byte = static_cast<uint8_t>(value);
    return write(fd, &byte, 1) == 1 ? 0 : -1;
}

int serial_write(int fd, const void* data, int length) {
    if (length < 0) return -1;
    return write(fd, data, static_cast<size_t>(length)) == length ? 0 : -1;
}

int serial_read_byte(int fd) {
    last_read_count = static_cast<int>(read(fd, &last_byte, 1));
    return last_byte;
}

int serial_read_until_idle(int fd, void* buffer, int size) {
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    int count = 0;
    while (count < size) {
        ssize_t got = read(fd, bytes + count, static_cast<size_t>(size - count));
        if (got <= 0) break;
        count += static_cast<int>(got);
    }
    return count;
}

int serial_checksum(const void* data, int length, int complement) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    unsigned sum = 0;  // only its low 8 bits count, so wrapping is harmless
    for (int i = 0; i < length; ++i) sum += bytes[i];
    if (complement == 1) sum = (sum ^ 0xFF) + 1;
    return static_cast<int>(sum & 0xFF);
}

int serial_set_rts(int fd, int on) { return set_modem_line(fd, TIOCM_RTS, on); }

int serial_set_dtr(int fd, int on) { return set_modem_line(fd, TIOCM_DTR, on); }
