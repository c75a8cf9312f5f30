// SPDX-License-Identifier: MIT WITH fmt-exception
// The board's SPI node "/dev/spidev2.0". FAKEBOARD_SPI names its stand-in (any
// file that opens, /dev/null will do). Every request on it is answered here
// and logged with every field it carries:
//   "spidev2.0 open O_RDWR|..."            the program's open flags
//   "spidev2.0 request SPI_IOC_MESSAGE(n)" this build's number for n transfers
//   "spidev2.0 xfer I tx_buf=.. rx_buf=.. len=.. speed_hz=.. ..."
//   "spidev2.0 xfer I sent AB CD"          the bytes of a send buffer
//   "spidev2.0 xfer I received 12 34"      what was put in a receive buffer
//   "spidev2.0 request 0x... refused"      anything else: ENOTTY
// FAKEBOARD_SPI_ANSWER holds the bytes the device sends, in hexadecimal
// ("12 34"), handed out in order over the receive buffers; after them it
// sends zeros. FAKEBOARD_SPI_ERRNO makes the message requests fail with it.
// FAKEBOARD_SPI_REGS, a file, makes the device a bank of 16-bit registers
// instead: a 4-byte frame (address, data) stores the data at the address, and
// a 2-byte address followed by a 2-byte receive answers what is stored there.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <unistd.h>
#include <sys/ioctl.h>

#include "fakeboard.h"

namespace {

constexpr unsigned kMaxTransfers = 8;

const char* buffer_text(std::uint64_t field, char* text, size_t size) {
    // a buffer field holds a whole address, zero-extended where pointers are narrower
    if (field == 0) return "0";
    bool whole = field == static_cast<std::uintptr_t>(field);
    std::snprintf(text, size, "%s", whole ? "buffer" : "bad-high-bits");
    return text;
}

// The device's answer bytes, consumed in order across requests of one run.
size_t used = 0;

unsigned char next_answer_byte() {
    const char* answer = std::getenv("FAKEBOARD_SPI_ANSWER");
    if (!answer) return 0;
    const char* p = answer;
    for (size_t i = 0;; ++i) {
        char* stop = nullptr;
        unsigned long v = std::strtoul(p, &stop, 16);
        if (stop == p) return 0;
        if (i == used) {
            ++used;
            return static_cast<unsigned char>(v);
        }
        p = stop;
    }
}

// Register bank: two bytes per address, most significant first, in the file.
bool register_bank(const spi_ioc_transfer* xfer, unsigned count) {
    const char* path = std::getenv("FAKEBOARD_SPI_REGS");
    if (!path) return false;
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const auto* tx = reinterpret_cast<const unsigned char*>(xfer[0].tx_buf);
    off_t at = tx ? (tx[0] * 256 + tx[1]) * 2 : 0;
    if (count == 1 && xfer[0].len == 4 && tx) {
        ssize_t w = pwrite(fd, tx + 2, 2, at);
        (void)w;
    } else if (count == 2 && xfer[0].len == 2 && tx && xfer[1].rx_buf && xfer[1].len == 2) {
        auto* rx = reinterpret_cast<unsigned char*>(xfer[1].rx_buf);
        rx[0] = rx[1] = 0;
        ssize_t r = pread(fd, rx, 2, at);
        (void)r;
    }
    close(fd);
    return true;
}

void log_bytes(unsigned index, const char* what, const unsigned char* bytes, unsigned len) {
    char text[256] = {};
    size_t n = 0;
    for (unsigned i = 0; i < len && n + 4 < sizeof text; ++i)
        n += static_cast<size_t>(std::snprintf(text + n, sizeof text - n, " %02x", bytes[i]));
    board_log("spidev2.0 xfer %u %s%s", index, what, text);
}

bool message(unsigned count, void* arg, int* result) {
    board_log("spidev2.0 request SPI_IOC_MESSAGE(%u)", count);
    auto* xfer = static_cast<spi_ioc_transfer*>(arg);
    for (unsigned i = 0; i < count && i < kMaxTransfers; ++i) {
        const spi_ioc_transfer& t = xfer[i];
        char tx[16], rx[16];
        board_log("spidev2.0 xfer %u tx_buf=%s rx_buf=%s len=%u speed_hz=%u delay_usecs=%u bits_per_word=%u "
                  "cs_change=%u tx_nbits=%u rx_nbits=%u word_delay_usecs=%u pad=%u",
                  i, buffer_text(t.tx_buf, tx, sizeof tx), buffer_text(t.rx_buf, rx, sizeof rx), t.len, t.speed_hz,
                  t.delay_usecs, t.bits_per_word, t.cs_change, t.tx_nbits, t.rx_nbits, t.word_delay_usecs, t.pad);
        if (t.tx_buf) log_bytes(i, "sent", reinterpret_cast<const unsigned char*>(t.tx_buf), t.len);
    }
    if (const char* e = std::getenv("FAKEBOARD_SPI_ERRNO")) {
        errno = static_cast<int>(std::strtol(e, nullptr, 10));
        *result = -1;
        return true;
    }
    bool bank = register_bank(xfer, count);
    unsigned total = 0;
    for (unsigned i = 0; i < count && i < kMaxTransfers; ++i) {
        const spi_ioc_transfer& t = xfer[i];
        total += t.len;
        if (!t.rx_buf) continue;
        auto* rx = reinterpret_cast<unsigned char*>(t.rx_buf);
        if (!bank)
            for (unsigned b = 0; b < t.len; ++b) rx[b] = next_answer_byte();
        log_bytes(i, "received", rx, t.len);
    }
    *result = static_cast<int>(total);  // the kernel answers with the bytes moved
    return true;
}

bool spidev_ioctl(int, unsigned long request, void* arg, int* result) {
    unsigned count = _IOC_SIZE(request) / sizeof(spi_ioc_transfer);
    if (count > 0 && request == SPI_IOC_MESSAGE(count)) return message(count, arg, result);
    board_log("spidev2.0 request %#lx refused", request);
    errno = ENOTTY;
    *result = -1;
    return true;
}

bool spidev_opened(int, int flags) {
    board_log_open("spidev2.0", flags);
    return true;
}

}  // namespace

extern const DevicePart kSpidevPart = {"/dev/spidev2.0", "FAKEBOARD_SPI", spidev_ioctl, spidev_opened};
