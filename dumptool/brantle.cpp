// brantle: prints the first bytes of a file as one unbroken run of two-digit
// lower-case hexadecimal numbers, with no separator and no final newline.
//
// The output is what a loop of one read and one "%02x" per byte would give,
// stopping after the byte that brings the count to the limit; this file reads,
// encodes and writes in large blocks instead.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "board_number.h"

namespace {

constexpr char kUsage[] = "\nUsage: brantle [filepath] [maxbytes]\n";
constexpr char kOpenError[] = "file open error\n";
constexpr char kOutputName[] = "stdout";  // the perror prefix of a failed write
constexpr int kStatusFailed = -1;

// Small enough that both buffers stay in the processor's cache while a pipe
// copies the output away; large enough that the calls cost little.
constexpr int kReadBlock = 16 * 1024;
char g_in[kReadBlock];
char g_out[2 * kReadBlock];

// The two digits of every byte value.
struct HexTable {
    char digits[256][2];
};

constexpr HexTable make_table() {
    constexpr char kDigits[] = "0123456789abcdef";
    HexTable t{};
    for (int i = 0; i < 256; ++i) {
        t.digits[i][0] = kDigits[i >> 4];
        t.digits[i][1] = kDigits[i & 0xF];
    }
    return t;
}

constexpr HexTable kHex = make_table();

// Writes 2 * count digits for count bytes of in into out.
void encode(const unsigned char* in, size_t count, char* out) {
    for (size_t i = 0; i < count; ++i) std::memcpy(out + 2 * i, kHex.digits[in[i]], 2);
}

bool write_all(const char* buf, size_t size) {
    while (size > 0) {
        ssize_t w = write(STDOUT_FILENO, buf, size);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        buf += w;
        size -= static_cast<size_t>(w);
    }
    return true;
}

// Dumps up to budget bytes of fd. Returns 0, or -1 after a message in the
// perror form when the file cannot be read or the output cannot be written.
int dump(int fd, const char* path, long long budget) {
    while (budget > 0) {
        size_t want = budget < kReadBlock ? static_cast<size_t>(budget) : kReadBlock;
        ssize_t got = read(fd, g_in, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            std::perror(path);
            return -1;
        }
        if (got == 0) break;
        encode(reinterpret_cast<const unsigned char*>(g_in), static_cast<size_t>(got), g_out);
        if (!write_all(g_out, 2 * static_cast<size_t>(got))) {
            std::perror(kOutputName);
            return -1;
        }
        budget -= got;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs(kUsage, stdout);
        return kStatusFailed;
    }
    // read as the board reads it: clamped to its 32-bit range
    int limit = static_cast<int>(boardutil::board_atol(argv[2]));
    int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fputs(kOpenError, stdout);
        return kStatusFailed;
    }
    // the count is tested after each byte, so a limit below 1 still prints one
    long long budget = limit < 1 ? 1 : limit;
    return dump(fd, argv[1], budget) == 0 ? 0 : kStatusFailed;
}
