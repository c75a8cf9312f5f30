// carvolt: writes or reads one 16-bit register of the device on SPI bus 2,
// chip select 0.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "spi_reg.h"

namespace {

constexpr char kUsage[] =
    "carvolt -r addr  \n"
    "carvolt -w addr data \n"
    "build 2015/06/29\n";
constexpr char kDevice[] = "/dev/spidev2.0";
constexpr char kOpenFailed[] = "Open failed /dev/spidev2.0\n";

void print_usage() { std::fputs(kUsage, stdout); }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a number the way "%x" does (blanks, a sign, a 0x prefix, digits up to
// the first other character). Returns false when the text holds no digit or
// the number needs more than 32 bits, where "%x" would give a value that
// differs between the host and the board.
bool parse_hex32(const char* text, std::uint32_t* out) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hex_digit(p[2]) >= 0) p += 2;
    if (hex_digit(*p) < 0) return false;
    std::uint64_t v = 0;
    for (; hex_digit(*p) >= 0; ++p) {
        v = v * 16 + static_cast<unsigned>(hex_digit(*p));
        if (v > 0xFFFFFFFFu) return false;
    }
    *out = static_cast<std::uint32_t>(negative ? 0u - v : v);
    return true;
}

int write_register(int fd, const char* addr_text, const char* data_text) {
    std::uint32_t addr = 0, data = 0;
    if (!parse_hex32(addr_text, &addr) || !parse_hex32(data_text, &data)) {
        print_usage();
        return 1;
    }
    std::printf("w[%4x]", addr);
    std::printf("[%4x]\n", data);
    // an addition: data above 16 bits carries into the address half
    std::uint32_t frame = addr * 65536u + data;
    (void)spi_reg_write(fd, &frame, 4);
    close(fd);
    return 0;
}

int read_register(int fd, const char* addr_text) {
    std::uint32_t addr = 0;
    if (!parse_hex32(addr_text, &addr)) {
        print_usage();
        return 1;
    }
    std::printf("r[%4x]", addr);
    unsigned value = 0;
    if (spi_reg_read(fd, &addr, &value) > 0) std::printf("r[%4x]\n", value);
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        print_usage();
        return 1;
    }
    int fd = open(kDevice, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        std::fputs(kOpenFailed, stdout);
        return -1;
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
