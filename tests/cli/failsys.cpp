// failsys: runs a program with some system calls failing, as an older kernel
// or another file system would fail them, through a seccomp filter that the
// program inherits: nothing inside the program is changed.
//
//   failsys CALL=ERRNO... PROGRAM ARG...
//
// CALL is renameat2, link or linkat; ERRNO is ENOSYS, EINVAL or EPERM. For
// example "failsys renameat2=ENOSYS sorbelt dir" is sorbelt on Linux 3.14.
// Exit status: the program's; 2 for a bad command line; 77 when the filter
// cannot be set (a kernel without seccomp filters, or qemu-user, which
// refuses them).
#include <cerrno>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <iterator>

#if defined(__x86_64__)
#define FAILSYS_ARCH AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define FAILSYS_ARCH AUDIT_ARCH_AARCH64
#elif defined(__arm__)
#define FAILSYS_ARCH AUDIT_ARCH_ARM
#elif defined(__i386__)
#define FAILSYS_ARCH AUDIT_ARCH_I386
#else
#error "failsys: unknown architecture"
#endif

namespace {

constexpr int kMaxRules = 8;

struct Name {
    const char* text;
    int value;
};

const Name kCalls[] = {
    {"renameat2", SYS_renameat2},
#ifdef SYS_link
    {"link", SYS_link},
#endif
    {"linkat", SYS_linkat},
};
const Name kErrnos[] = {{"ENOSYS", ENOSYS}, {"EINVAL", EINVAL}, {"EPERM", EPERM}};

int lookup(const Name* names, size_t count, const char* text, size_t length) {
    for (size_t i = 0; i < count; ++i)
        if (std::strlen(names[i].text) == length && std::strncmp(names[i].text, text, length) == 0) return names[i].value;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    // the architecture check, two instructions a rule, then allow
    sock_filter code[3 + 2 * kMaxRules + 1];
    int n = 0, rules = 0, arg = 1;
    code[n++] = sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch));
    code[n++] = sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, FAILSYS_ARCH, 0, 0);
    code[n++] = sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr));
    for (; arg < argc && std::strchr(argv[arg], '='); ++arg, ++rules) {
        const char* eq = std::strchr(argv[arg], '=');
        int call = lookup(kCalls, std::size(kCalls), argv[arg], static_cast<size_t>(eq - argv[arg]));
        int err = lookup(kErrnos, std::size(kErrnos), eq + 1, std::strlen(eq + 1));
        if (call < 0 || err < 0 || rules == kMaxRules) {
            std::fprintf(stderr, "failsys: cannot fail %s\n", argv[arg]);
            return 2;
        }
        code[n++] = sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 1);
        code[n++] = sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(err));
    }
    // another architecture's calls have other numbers: all allowed
    code[1].jf = static_cast<unsigned char>(n - 2);
    code[n++] = sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    if (rules == 0 || arg >= argc) {
        std::fputs("usage: failsys CALL=ERRNO... PROGRAM ARG...\n", stderr);
        return 2;
    }
    sock_fprog prog = {static_cast<unsigned short>(n), code};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0) {
        std::perror("failsys: seccomp");
        return 77;
    }
    execvp(argv[arg], argv + arg);
    std::perror(argv[arg]);
    return 127;
}
