// SPDX-License-Identifier: MIT WITH fmt-exception
// failsys: runs a program with some system calls failing, as an older kernel
// or another file system fails them, through a seccomp filter that the
// program inherits: nothing inside the program is changed.
//
//   failsys CALL=ERRNO... PROGRAM ARG...
//
// CALL is renameat2, link or linkat; ERRNO is ENOSYS, EINVAL or EPERM:
// "failsys renameat2=ENOSYS sorbelt dir" is sorbelt on Linux 3.14. Exit
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

#if defined(__x86_64__)
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#elif defined(__arm__)
constexpr unsigned kArch = AUDIT_ARCH_ARM;
#endif

namespace {

constexpr int kMaxRules = 8;

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
    // the architecture check, two instructions a rule, then allow
    sock_filter code[3 + 2 * kMaxRules + 1] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 0, 0),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    int n = 3, arg = 1;
    for (; arg < argc && n < 3 + 2 * kMaxRules; ++arg) {
        std::string_view rule = argv[arg];
        size_t eq = rule.find('=');
        if (eq == rule.npos) break;
        int call = lookup(rule.substr(0, eq)), err = lookup(rule.substr(eq + 1));
        if (call < 0 || err < 0) {
            std::fprintf(stderr, "failsys: cannot fail %s\n", argv[arg]);
            return 2;
        }
        code[n++] = sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 1);
        code[n++] = sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(err));
    }
    if (n == 3 || arg >= argc) {
        std::fputs("usage: failsys CALL=ERRNO... PROGRAM ARG...\n", stderr);
        return 2;
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
