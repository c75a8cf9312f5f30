// SPDX-License-Identifier: MIT WITH fmt-exception
// brantle: prints the first bytes of a file as one unbroken run of two-digit
// lower-case hexadecimal numbers, with no separator and no final newline.
//
// The output is what a loop of one read and one "%02x" per byte would give,
// stopping after the byte that brings the count to the limit; this file reads,
// encodes and writes in blocks instead, with the encoding in vector code.
#include <cerrno>
#include <fcntl.h>
#include <sys/auxv.h>
#include <unistd.h>

#include "board_number.h"
#include "std_streams.h"
#include "write_all.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#if defined(BRANTLE_NEON)
// The NEON copy is in brantle_neon.cpp, the one file built for NEON.
size_t encode_neon(const unsigned char* in, size_t count, char* out);
#endif
#if defined(BRANTLE_NEON_AT_RUN_TIME)
// Debian's armhf baseline promises no NEON, though the board's processor has it.
#ifndef HWCAP_NEON
#define HWCAP_NEON HWCAP_ARM_NEON  // glibc's name for musl's and the kernel's
#endif
#endif

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

constexpr char kDigits[] = "0123456789abcdef";

// Writes 2 * count digits for count bytes of in into out: the copy for
// processors without vector instructions, and for the bytes after the last
// whole vector.
void encode_plain(const unsigned char* in, size_t count, char* out) {
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = kDigits[in[i] >> 4];
        out[2 * i + 1] = kDigits[in[i] & 0xFu];
    }
}

// The vector copies encode the whole 16- or 32-byte vectors of in as
// encode_plain does, and return how many bytes they encoded. Intrinsics,
// since the compiler's vectoriser gives this speed only at -O3, not at the
// -O2 or -Os that release and firmware builds bring. A half byte n becomes
// '0' + n, plus the distance to 'a' above 9.
using VectorEncoder = size_t (*)(const unsigned char* in, size_t count, char* out);

#if defined(__SSE2__)
__m128i digits_sse2(__m128i n) {
    __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(n, _mm_set1_epi8(9)), _mm_set1_epi8('a' - 10 - '0'));
    return _mm_add_epi8(_mm_add_epi8(n, _mm_set1_epi8('0')), letters);
}

size_t encode_sse2(const unsigned char* in, size_t count, char* out) {
    const __m128i low_half = _mm_set1_epi8(0xF);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), low_half);
        __m128i low = _mm_and_si128(bytes, low_half);
        auto* to = reinterpret_cast<__m128i*>(out + 2 * i);
        _mm_storeu_si128(to, digits_sse2(_mm_unpacklo_epi8(high, low)));
        _mm_storeu_si128(to + 1, digits_sse2(_mm_unpackhi_epi8(high, low)));
    }
    return i;
}

__attribute__((target("avx2"))) __m256i digits_avx2(__m256i n) {
    __m256i letters = _mm256_and_si256(_mm256_cmpgt_epi8(n, _mm256_set1_epi8(9)), _mm256_set1_epi8('a' - 10 - '0'));
    return _mm256_add_epi8(_mm256_add_epi8(n, _mm256_set1_epi8('0')), letters);
}

__attribute__((target("avx2"))) size_t encode_avx2(const unsigned char* in, size_t count, char* out) {
    const __m256i low_half = _mm256_set1_epi8(0xF);
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        // unpacking stays within each 16-byte half: with the 8-byte quarters
        // in the order 0 2 1 3, the low unpack holds bytes 0 to 15 and the
        // high one bytes 16 to 31
        bytes = _mm256_permute4x64_epi64(bytes, 0xD8);
        __m256i high = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), low_half);
        __m256i low = _mm256_and_si256(bytes, low_half);
        auto* to = reinterpret_cast<__m256i*>(out + 2 * i);
        _mm256_storeu_si256(to, digits_avx2(_mm256_unpacklo_epi8(high, low)));
        _mm256_storeu_si256(to + 1, digits_avx2(_mm256_unpackhi_epi8(high, low)));
    }
    return i;
}
#endif

// Returns the vector copy for this processor, or null for none. SSE2 is the
// x86-64 baseline, NEON 64-bit ARM's. Chosen here rather than by the
// compiler's clones, whose resolver clang's link-time optimisation loses.
VectorEncoder choose_vector_encoder() {
#if defined(__SSE2__)
    return __builtin_cpu_supports("avx2") ? encode_avx2 : encode_sse2;
#elif defined(BRANTLE_NEON_AT_RUN_TIME)
    return getauxval(AT_HWCAP) & HWCAP_NEON ? encode_neon : nullptr;
#elif defined(BRANTLE_NEON)
    return encode_neon;
#else
    return nullptr;
#endif
}

// Dumps up to budget bytes of fd. Returns 0, or -1 after a message in the
// perror form when the file cannot be read or the output cannot be written.
int dump(int fd, const char* path, long long budget) {
    VectorEncoder encode_vectors = choose_vector_encoder();
    while (budget > 0) {
        size_t want = budget < kReadBlock ? static_cast<size_t>(budget) : kReadBlock;
        ssize_t got = read(fd, g_in, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            std_streams_perror(path);
            return -1;
        }
        if (got == 0) break;
        auto count = static_cast<size_t>(got);
        size_t done = encode_vectors ? encode_vectors(g_in, count, g_out) : 0;
        encode_plain(g_in + done, count - done, g_out + 2 * done);
        if (!write_all(STDOUT_FILENO, g_out, 2 * count)) {
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
        std_streams_put(kUsage);
        (void)std_streams_flush();
        return kStatusFailed;
    }
    // clamped to the board's 32-bit range, whatever the C library's atoi does
    int limit = static_cast<int>(boardutil_atol(argv[2]));
    int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std_streams_put(kOpenError);
        (void)std_streams_flush();
        return kStatusFailed;
    }
    // the count is tested after each byte, so a limit below 1 still prints one
    long long budget = limit < 1 ? 1 : limit;
    return dump(fd, argv[1], budget) == 0 ? 0 : kStatusFailed;
}
