// SPDX-License-Identifier: MIT WITH fmt-exception
#include "spi_reg.h"

#include <linux/spi/spidev.h>
#include <sys/ioctl.h>

#include "std_streams.h"

// The kernel reads the same 32-byte entry on every processor, and the request
// carries the size of the entries; its direction bits are the processor's own.
static_assert(sizeof(spi_ioc_transfer) == 32);
static_assert(_IOC_SIZE(SPI_IOC_MESSAGE(2)) == 2 * sizeof(spi_ioc_transfer));

namespace {

// Both operations fill it in place; fields they never set stay zero, which
// the kernel reads as no buffer and single-wire transfers.
spi_ioc_transfer spi_xfer[2];

std::uint64_t buffer_field(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

void fill(spi_ioc_transfer& t, const void* tx, void* rx, std::uint32_t len) {
    t.tx_buf = tx ? buffer_field(tx) : 0;
    t.rx_buf = rx ? buffer_field(rx) : 0;
    t.len = len;
    t.speed_hz = kSpiSpeedHz;
    t.delay_usecs = 0;
    t.bits_per_word = kSpiBitsPerWord;
    t.cs_change = 0;
}

}  // namespace

int spi_reg_write(int fd, const std::uint32_t* frame, int count) {
    unsigned char tx[4] = {static_cast<unsigned char>(*frame >> 24), static_cast<unsigned char>(*frame >> 16),
                           static_cast<unsigned char>(*frame >> 8), static_cast<unsigned char>(*frame)};
    fill(spi_xfer[0], tx, nullptr, sizeof tx);
    if (ioctl(fd, SPI_IOC_MESSAGE(1), spi_xfer) < 0) {
        std_streams_perror("SPI_IOC_MESSAGE");
        return 0;
    }
    return count;
}

int spi_reg_read(int fd, const std::uint32_t* addr, unsigned* value) {
    unsigned char tx[4] = {static_cast<unsigned char>(*addr >> 8), static_cast<unsigned char>(*addr), 0, 0};
    unsigned char rx[4] = {};
    fill(spi_xfer[0], tx, nullptr, 2);
    fill(spi_xfer[1], nullptr, rx, 2);
    if (ioctl(fd, SPI_IOC_MESSAGE(2), spi_xfer) < 0) {
        std_streams_perror("SPI_IOC_MESSAGE");
        return 0;
    }
    std_streams_print("[%2.2x][%2.2x][%2.2x][%2.2x]\n", rx[0], rx[1], rx[2], rx[3]);
    *value = rx[0] * 256u + rx[1];
    return 2;
}
