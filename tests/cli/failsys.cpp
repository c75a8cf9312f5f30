// SPDX-License-Identifier: MIT WITH fmt-exception
// failsys: runs a program with some system calls failing, as an older kernel
// or another file system fails them, through a seccomp filter that the
// program inherits: nothing inside the program is changed.
//
//   failsys CALL=ERRNO... PROGRAM ARG...
//
// CALL is renameat2 (failed only with flags), link or linkat; ERRNO is
// ENOSYS, EINVAL or EPERM: "failsys renameat2=ENOSYS sorbelt dir" is sorbelt
// on Linux 3.14. Exit
// status: the program's; 2 for a bad command line; 77 when the filter cannot
// be set (no seccomp filters in the kernel; qemu-user refuses them too).
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <string_view>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

// The architecture that the seccomp check sees, as the kernel's header names
// it; 0 where this table knows none, and the filter is then not set (77).
#if defined(__x86_64__)  // x32 too: its calls carry a bit of their own
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__i386__)
constexpr unsigned kArch = AUDIT_ARCH_I386;
#elif defined(__aarch64__) && !defined(__AARCH64EB__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#elif defined(__arm__)
constexpr unsigned kArch = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? AUDIT_ARCH_ARMEB : AUDIT_ARCH_ARM;
#elif defined(__riscv) && __riscv_xlen == 64
constexpr unsigned kArch = AUDIT_ARCH_RISCV64;
#elif defined(__s390x__)
constexpr unsigned kArch = AUDIT_ARCH_S390X;
#elif defined(__s390__)
constexpr unsigned kArch = AUDIT_ARCH_S390;
#elif defined(__mips__)
constexpr bool kBig = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
#if _MIPS_SIM == _ABIO32
constexpr unsigned kArch = kBig ? AUDIT_ARCH_MIPS : AUDIT_ARCH_MIPSEL;
#elif _MIPS_SIM == _ABIN32
constexpr unsigned kArch = kBig ? AUDIT_ARCH_MIPS64N32 : AUDIT_ARCH_MIPSEL64N32;
#else
constexpr unsigned kArch = kBig ? AUDIT_ARCH_MIPS64 : AUDIT_ARCH_MIPSEL64;
#endif
#elif defined(__powerpc64__)
constexpr unsigned kArch = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? AUDIT_ARCH_PPC64 : AUDIT_ARCH_PPC64LE;
#elif defined(__powerpc__)
constexpr unsigned kArch = AUDIT_ARCH_PPC;
#elif defined(__sparc__)
constexpr unsigned kArch = sizeof(long) == 8 ? AUDIT_ARCH_SPARC64 : AUDIT_ARCH_SPARC;
#elif defined(__loongarch64) && defined(AUDIT_ARCH_LOONGARCH64)
constexpr unsigned kArch = AUDIT_ARCH_LOONGARCH64;
#elif defined(__m68k__)
constexpr unsigned kArch = AUDIT_ARCH_M68K;
#elif defined(__alpha__)
constexpr unsigned kArch = AUDIT_ARCH_ALPHA;
#elif defined(__hppa__)
constexpr unsigned kArch = sizeof(long) == 8 ? AUDIT_ARCH_PARISC64 : AUDIT_ARCH_PARISC;
#else
constexpr unsigned kArch = 0;
#endif

namespace {

constexpr int kMaxRules = 8;
// the low 32 bits of renameat2's flags, the fifth argument
constexpr unsigned kFlagsWord =
    offsetof(seccomp_data, args[4]) + (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0);

struct Name {
    std::string_view text;
    int value;
};
constexpr Name kNames[] = {
#ifdef SYS_link
    {"link", SYS_link},
#endif
    {"renameat2", SYS_renameat2}, {"linkat", SYS_linkat},
    {"ENOSYS", ENOSYS}, {"EINVAL", EINVAL}, {"EPERM", EPERM}};

int lookup(std::string_view text) {
    for (const Name& n : kNames)
        if (n.text == text) return n.value;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    // the architecture check, up to five instructions a rule, then allow
    sock_filter code[3 + 5 * kMaxRules + 1] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 0, 0),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    int n = 3, arg = 1;
    for (; arg < argc && n < 3 + 5 * (kMaxRules - 1); ++arg) {
        std::string_view rule = argv[arg];
        size_t eq = rule.find('=');
        if (eq == rule.npos) break;
        int call = lookup(rule.substr(0, eq)), err = lookup(rule.substr(eq + 1));
        if (call < 0 || err < 0) {
            std::fprintf(stderr, "failsys: cannot fail %s\n", argv[arg]);
            return 2;
        }
        if (call == SYS_renameat2) {
            // only with flags, which old kernels and file systems lack: a
            // processor without renameat (riscv64) renames with flags 0
            code[n++] = sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 4);
            code[n++] = sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kFlagsWord);
            code[n++] = sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 0);
            code[n++] = sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(err));
            code[n++] = sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr));
            continue;
        }
        code[n++] = sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 1);
        code[n++] = sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(err));
    }
    if (n == 3 || arg >= argc) {
        std::fputs("usage: failsys CALL=ERRNO... PROGRAM ARG...\n", stderr);
        return 2;
    }
    if (kArch == 0) {
        std::fputs("failsys: no seccomp architecture known for this processor\n", stderr);
        return 77;
    }
    // another architecture's calls have other numbers: all allowed
    code[1].jf = static_cast<unsigned char>(n - 2);
    code[n++] = sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    sock_fprog prog = {static_cast<unsigned short>(n), code};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0) {
        std::perror("failsys: seccomp");
        return 77;
    }
    execvp(argv[arg], argv + arg);
    std::perror(argv[arg]);
    return 127;
}
