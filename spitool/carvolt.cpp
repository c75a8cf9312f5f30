// SPDX-License-Identifier: MIT WITH fmt-exception
// carvolt: writes or reads one 16-bit register of the device on SPI bus 2,
// chip select 0.
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "scan_hex.h"
#include "spi_reg.h"
#include "std_streams.h"

namespace {

constexpr char kUsage[] =
    "carvolt -r addr  \n"
    "carvolt -w addr data \n"
    "build 2015/06/29\n";
constexpr char kDevice[] = "/dev/spidev2.0";
constexpr char kOpenFailed[] = "Open failed /dev/spidev2.0\n";
// a node that does not open, or a transfer the kernel refused: a script that
// writes a register must be able to tell that nothing reached it; also a
// report that cannot be written, after the exchange
constexpr int kStatusFailed = -1;

void print_usage() { std_streams_put(kUsage); }

int write_register(int fd, const char* addr_text, const char* data_text) {
    std::uint32_t addr = 0, data = 0;
    if (!scan_hex32(addr_text, &addr) || !scan_hex32(data_text, &data)) {
        print_usage();
        return 1;
    }
    std_streams_print("w[%4x][%4x]\n", addr, data);
    // a terminal sees the echo before the exchange, line by line as stdio
    // showed it there; a pipe or log gets it at the end, as before
    if (isatty(STDOUT_FILENO)) (void)std_streams_flush(true);
    // an addition: data above 16 bits carries into the address half
    std::uint32_t frame = addr * 65536u + data;
    int sent = spi_reg_write(fd, &frame, 4);
    close(fd);
    return sent > 0 ? 0 : kStatusFailed;
}

int read_register(int fd, const char* addr_text) {
    std::uint32_t addr = 0;
    if (!scan_hex32(addr_text, &addr)) {
        print_usage();
        return 1;
    }
    std_streams_print("r[%4x]", addr);
    unsigned value = 0;
    int got = spi_reg_read(fd, &addr, &value);
    if (got > 0) std_streams_print("r[%4x]\n", value);
    close(fd);
    return got > 0 ? 0 : kStatusFailed;
}

// Returns the status of the operation that the arguments ask for.
int operate(int argc, char** argv) {
    if (argc < 3) {
        print_usage();
        return 1;
    }
    int fd = open(kDevice, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        std_streams_put(kOpenFailed);
        return kStatusFailed;
    }
    if (std::strncmp(argv[1], "-w", 2) == 0) {
        if (argc == 3) {
            print_usage();
            return 1;
        }
        return write_register(fd, argv[2], argv[3]);
    }
    if (std::strncmp(argv[1], "-r", 2) == 0) return read_register(fd, argv[2]);
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (std_streams_reserve("carvolt") != 0) return kStatusFailed;
    int status = operate(argc, argv);
    // the exchange is made whatever becomes of its echo; a lost echo, or a
    // lost usage text, fails the run all the same
    return std_streams_flush() ? status : kStatusFailed;
}
