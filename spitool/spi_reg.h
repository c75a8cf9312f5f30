// SPDX-License-Identifier: MIT WITH fmt-exception
// SPI register transfers: one 16-bit register of the device behind an open
// spidev node, written with a 4-byte frame or read with a 2-byte address
// followed by a 2-byte answer, each as one SPI_IOC_MESSAGE request.
#pragma once
#include <cstdint>

constexpr unsigned kSpiSpeedHz = 6000000;
constexpr int kSpiBitsPerWord = 8;

// Sends the four bytes of *frame, most significant first, in one transfer.
// Returns count when the request succeeds; 0 when it fails, after a line in
// the perror form ("SPI_IOC_MESSAGE: reason") on standard error.
[[nodiscard]] int spi_reg_write(int fd, const std::uint32_t* frame, int count);

// Sends the low 16 bits of *addr, most significant byte first, then receives
// two bytes under the same chip select. On success prints the four bytes of
// the answer buffer as "[%2.2x]" each and a newline on standard output, stores
// first * 256 + second in *value and returns 2. On failure prints the perror
// line as above, leaves *value untouched and returns 0.
[[nodiscard]] int spi_reg_read(int fd, const std::uint32_t* addr, unsigned* value);
