// SPDX-License-Identifier: MIT
// brantle: prints the first bytes of a file as one unbroken run of two-digit
// lower-case hexadecimal numbers, with no separator and no final newline.
//
// The output is what a loop of one read and one "%02x" per byte would give,
// stopping after the byte that brings the count to the limit; this file reads,
// encodes and writes in blocks instead, with the encoding in vector code.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/auxv.h>
#include <unistd.h>

#include "board_number.h"
#include "std_streams.h"
#include "write_all.h"

namespace {

constexpr char kUsage[] = "\nUsage: brantle [filepath] [maxbytes]\n";
constexpr char kOpenError[] = "file open error\n";
constexpr int kStatusFailed = -1;

// Small enough that both buffers stay in the processor's cache while a pipe
// copies the output away, and that a write fills at most half of a pipe (64
// KiB), so that its reader empties one half while the other is filled.
constexpr int kReadBlock = 16 * 1024;
unsigned char g_in[kReadBlock];
char g_out[2 * kReadBlock];

// Writes 2 * count digits for count bytes of in into out. Plain arithmetic on
// the half bytes, so that the compiler makes vector code of the loop (this
// file is built with -O3): 16 or 32 bytes a step where the processor has
// vector instructions.
inline __attribute__((always_inline)) void encode_digits(const unsigned char* in, size_t count, char* out) {
    for (size_t i = 0; i < count; ++i) {
        unsigned high = in[i] >> 4, low = in[i] & 0xFu;
        out[2 * i] = static_cast<char>(high + (high > 9 ? 'a' - 10 : '0'));
        out[2 * i + 1] = static_cast<char>(low + (low > 9 ? 'a' - 10 : '0'));
    }
}

void encode(const unsigned char* in, size_t count, char* out) {
    encode_digits(in, count, out);
}

// The x86-64 baseline has SSE2; a copy for AVX2 is chosen at start-up where
// the processor has it. Chosen here rather than by the compiler's clones,
// whose resolver clang's link-time optimisation loses.
#if defined(__x86_64__) && !defined(__AVX2__)
__attribute__((target("avx2"))) void encode_avx2(const unsigned char* in, size_t count, char* out) {
    encode_digits(in, count, out);
}
#endif

// Debian's armhf baseline promises no NEON; the board's processor has it. A
// copy for NEON, used where the kernel reports it.
#if defined(__arm__) && !defined(__ARM_NEON)
#ifndef HWCAP_NEON
#define HWCAP_NEON HWCAP_ARM_NEON  // glibc's name for musl's and the kernel's
#endif
__attribute__((target("fpu=neon"))) void encode_neon(const unsigned char* in, size_t count, char* out) {
    encode_digits(in, count, out);
}
#endif

using Encoder = void (*)(const unsigned char*, size_t, char*);

Encoder choose_encoder() {
#if defined(__x86_64__) && !defined(__AVX2__)
    if (__builtin_cpu_supports("avx2")) return encode_avx2;
#endif
#if defined(__arm__) && !defined(__ARM_NEON)
    if (getauxval(AT_HWCAP) & HWCAP_NEON) return encode_neon;
#endif
    return encode;
}

// Dumps up to budget bytes of fd. Returns 0, or -1 after a message in the
// perror form when the file cannot be read or the output cannot be written.
int dump(int fd, const char* path, long long budget) {
    Encoder encoder = choose_encoder();
    while (budget > 0) {
        size_t want = budget < kReadBlock ? static_cast<size_t>(budget) : kReadBlock;
        ssize_t got = read(fd, g_in, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            std::perror(path);
            return -1;
        }
        if (got == 0) break;
        encoder(g_in, static_cast<size_t>(got), g_out);
        if (!write_all(STDOUT_FILENO, g_out, 2 * static_cast<size_t>(got))) {
            std_streams_say_lost(errno);
            return -1;
        }
        budget -= got;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (std_streams_reserve("brantle") != 0) return kStatusFailed;
    if (argc != 3) {
        std::fputs(kUsage, stdout);
        (void)std_streams_flush();
        return kStatusFailed;
    }
    // clamped to the board's 32-bit range, whatever the C library's atoi does
    int limit = static_cast<int>(boardutil::board_atol(argv[2]));
    int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fputs(kOpenError, stdout);
        (void)std_streams_flush();
        return kStatusFailed;
    }
    // the count is tested after each byte, so a limit below 1 still prints one
    long long budget = limit < 1 ? 1 : limit;
    return dump(fd, argv[1], budget) == 0 ? 0 : kStatusFailed;
}
