// SPDX-License-Identifier: MIT WITH fmt-exception
// memtwig: reads or writes one byte register, or one bit of it, in a page of
// physical memory, and returns the value as its exit status.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "scan_hex.h"
#include "std_streams.h"

namespace {

constexpr char kUsage[] =
    "\n"
    "command error \n"
    "memtwig base_addr offset_addr mode \n"
    "<exp>\n"
    " memtwig f1010000 300 r -s\n"
    " memtwig f1010000 300 w ff -s\n"
    " memtwig f1010000 300 rb[0-7] -s\n"
    " memtwig f1010000 300 wb[0-7] [01] -s\n"
    "\n";
constexpr char kDevice[] = "/dev/mem";
constexpr char kOffsetOutside[] = "memtwig: offset 0x%x lies outside the page of 0x%lx bytes\n";
constexpr int kOffsetLineArea = 96;

enum class Access { kRead, kWrite };

[[noreturn]] void para_err_disp() {
    std_streams_put(kUsage);
    (void)std_streams_flush();  // told even in terse mode, which prints the text too
    std::exit(-1);
}

std::uint32_t hex_arg(const char* text) {
    std::uint32_t v = 0;
    if (!scan_hex32(text, &v)) para_err_disp();
    return v;
}

}  // namespace

// Every register access goes through it: one load or store, never repeated,
// widened or merged, since the byte may be a device register.
volatile std::uint8_t* PEDR = nullptr;

namespace {

// Each access is a function of its own, never inlined or cloned, so that the
// board build's disassembly shows exactly what reaches the register. clang
// has no noipa; noinline keeps them apart there, as the same check shows.
#if defined(__clang__)
#define REGISTER_ACCESS __attribute__((noinline))
#else
#define REGISTER_ACCESS __attribute__((noipa))
#endif

REGISTER_ACCESS std::uint8_t register_read() { return *PEDR; }

// One store and no load: reading a device register is not harmless, it can
// take a byte out of a receive FIFO or clear status bits.
REGISTER_ACCESS void register_write(std::uint8_t byte) { *PEDR = byte; }

// One load and one store: the bits of mask become those of bits, the other
// seven stay. Returns the byte stored.
REGISTER_ACCESS std::uint8_t register_write_bit(unsigned mask, unsigned bits) {
    std::uint8_t byte = *PEDR;
    byte = static_cast<std::uint8_t>((byte & ~mask) | (bits & mask));
    *PEDR = byte;
    return byte;
}

}  // namespace

int main(int argc, char** argv) {
    if (std_streams_reserve("memtwig") != 0) return -1;
    int bit = -1;
    unsigned mask = 1;
    bool terse = false;

    if (argc <= 3) para_err_disp();
    std::uint32_t base_addr = hex_arg(argv[1]);
    std::uint32_t offset_addr = hex_arg(argv[2]);
    for (int i = 0; i < argc; ++i)
        if (std::strncmp(argv[i], "-s", 2) == 0) terse = true;

    const char* mode = argv[3];
    Access access;
    if (mode[0] == 'r') access = Access::kRead;
    else if (mode[0] == 'w') access = Access::kWrite;
    else para_err_disp();
    if (mode[1] == 'b') {
        if (mode[2] < '0' || mode[2] > '7') para_err_disp();
        bit = mode[2] - '0';
    } else if (mode[1] != '\0') {
        para_err_disp();
    }
    std::uint32_t write_value = 0;
    if (access == Access::kWrite) {
        if (argc < 5) para_err_disp();
        write_value = hex_arg(argv[4]);
    }

    // outside the one page mapped there is nothing of ours to touch
    long page_size = getpagesize();
    if (offset_addr >= static_cast<unsigned long>(page_size)) {
        char line[kOffsetLineArea];
        std::snprintf(line, sizeof line, kOffsetOutside, offset_addr, page_size);
        std_streams_say(line);
        return -1;
    }

    int fd = open(kDevice, O_RDWR);
    if (fd < 0) {
        if (!terse) std_streams_perror("Failed to open /dev/mem");
        return -1;
    }
    void* page = mmap(nullptr, static_cast<size_t>(page_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                      static_cast<off_t>(base_addr));
    if (page == MAP_FAILED) {
        if (!terse) std_streams_perror("mmap");
        return -1;
    }
    PEDR = static_cast<volatile std::uint8_t*>(page) + offset_addr;
    if (bit >= 0) mask = 1u << bit;

    int result;
    if (access == Access::kRead) {
        std::uint8_t byte = register_read();
        if (bit < 0) {
            result = byte;
            if (terse) std_streams_print("%d\n", result);
            else std_streams_print("memtwig addr[%x] read =>[%x]\n", offset_addr, byte);
        } else {
            result = (byte & mask) ? 1 : 0;
            if (terse) std_streams_print("%d\n", result);
            else std_streams_print("memtwig addr[%x] bit%d=(%d)\n", offset_addr, bit, result);
        }
    } else {
        std::uint8_t byte;
        if (bit < 0) {
            byte = static_cast<std::uint8_t>(write_value);
            register_write(byte);
        } else {
            byte = register_write_bit(mask, write_value != 0 ? mask : 0u);
        }
        result = byte;
        if (!terse) std_streams_print("memtwig addr[%x] write =>[%x]\n", offset_addr, byte);
    }
    // the access is done; a value that cannot be reported still fails the run
    return std_streams_flush(terse) ? result : -1;
}
