// SPDX-License-Identifier: MIT WITH fmt-exception
// clirun: runs the command-line cases of one or more case tables and checks
// every run byte for byte: standard output, standard error, exit status, and
// the files it leaves behind.
//
//   clirun [--emulator "CMD ARGS"] [--libc glibc|musl] [--program NAME=PATH]...
//          [--case N] TABLE...
//
// A table is a list of cases. Each case runs in a scratch directory of its
// own, which is the working directory of its runs; relative paths lie in it.
//
//   # a comment
//   define NAME ... end          lines that "use NAME" stands for, in any case
//   case TITLE                   starts a case
//   skip-if-exists PATH          skips the case where PATH exists
//   skip-unless-exists PATH      skips the case where PATH does not exist
//   mkdir PATH                   makes a directory and its parents
//   write PATH [OFFSET] STRING   writes bytes at OFFSET (default 0) into a file
//   size PATH N                  cuts or extends a file to N bytes
//   symlink PATH TARGET          makes a symbolic link
//   remove PATH                  removes a file or a link
//   env NAME STRING              sets a variable for the following runs
//   fsize-limit N                limits the size of files the runs write,
//                                with SIGXFSZ at its default
//   stdin STRING                 standard input of the following runs
//   stdin-closed                 the following runs start with it closed
//   stdout-closed, stderr-closed the same for standard output or error
//   stdout-to PATH               the following runs write their standard
//                                output to PATH (e.g. /dev/full) instead of
//                                the capture; "stdout-to closed-pipe" gives
//                                them a pipe that nobody reads, with SIGPIPE
//                                at its default; "stdout-to slow-pipe" a
//                                non-blocking pipe that is first read after a
//                                second, its bytes the standard output
//   run PROGRAM ARG...           runs a program named with --program
//   stdout STRING                what the last run printed on standard output
//   stderr STRING                what it printed on standard error
//   stderr glibc|musl STRING     the same, where the programs run on that C
//                                library (--libc, glibc unless given): the
//                                reason in a perror line is its text
//   status N | status signal N   how it ended
//   file PATH STRING             a file now holds exactly these bytes
//   bytes PATH OFFSET STRING     a file holds these bytes at OFFSET
//   absent PATH                  nothing is at PATH now, not even a link
//   mode PATH OCTAL              a file's permission bits
//
// For programs that talk to a device and run until they are stopped:
//   peer PROGRAM ARG...          starts a program named with --program beside
//                                the runs, in the same directory; it gets
//                                SIGTERM when the case ends, and what it printed
//                                is shown when the case fails
//   await PATH                   waits until something is at PATH (a peer's link)
//   preload LIBRARY              preloads a library named with --program into
//                                the following runs (under an emulator through
//                                its -E, so that the emulator itself goes without)
//   stop-on STRING               ends the following runs with SIGTERM once their
//                                standard output holds STRING
//   stop-on-file PATH STRING     ... once the file PATH holds STRING
//   stop-after SECONDS           ... once they have run SECONDS (a decimal)
// On the emulated board, whose far ends the host side plays:
//   host WORD...                 asks the host side for something: prints
//                                "@@host" and the words, each quoted, and
//                                reads the host's answer line, "@@reply" and
//                                one quoted string, from standard input
//   host-reply STRING            what the host side answered last
// A run that is stopped so ends as "status signal 15"; one that is still
// running after 60 seconds is killed and counts as timed out.
//
// A run expects empty output and status 0 unless its lines say otherwise.
// Words are taken as they stand; "quoted" strings take \n \t \r \0 \\ \"
// \xHH and \{N:TEXT} (TEXT N times). A line that begins with a blank goes on
// the line before it, so a long string can be split into several.
//
// A later --program for a name replaces an earlier one.
//
// Exit status: 0 when no case failed, 1 when one did, 77 when every case that
// was asked for was skipped, 2 for a table that cannot be read.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct Line {
    int number = 0;
    std::string directive;
    std::vector<std::string> words;
};

struct Case {
    std::string table;
    std::string title;
    std::vector<Line> lines;
};

struct Outcome {
    std::string out;
    std::string err;
    std::string status;  // "exit N", "signal N" or "timed out"
};

std::vector<std::string> g_emulator;
std::string g_libc = "glibc";
std::vector<std::pair<std::string, std::string>> g_programs;

bool parse_string(const char*& p, char end, std::string& out, std::string& error);

bool parse_escape(const char*& p, std::string& out, std::string& error) {
    char c = *p++;
    switch (c) {
        case 'n': out += '\n'; return true;
        case 't': out += '\t'; return true;
        case 'r': out += '\r'; return true;
        case '0': out += '\0'; return true;
        case '\\': out += '\\'; return true;
        case '"': out += '"'; return true;
        case 'x': {
            char hex[3] = {p[0], p[0] ? p[1] : '\0', '\0'};
            char* stop = nullptr;
            long v = std::strtol(hex, &stop, 16);
            if (stop != hex + 2) {
                error = "\\x needs two hexadecimal digits";
                return false;
            }
            out += static_cast<char>(v);
            p += 2;
            return true;
        }
        case '{': {
            char* stop = nullptr;
            long count = std::strtol(p, &stop, 10);
            if (stop == p || *stop != ':' || count < 0) {
                error = "\\{ needs a count and a colon";
                return false;
            }
            p = stop + 1;
            std::string unit;
            if (!parse_string(p, '}', unit, error)) return false;
            for (long i = 0; i < count; ++i) out += unit;
            return true;
        }
        default:
            error = std::string("unknown escape \\") + c;
            return false;
    }
}

// Reads up to the closing character and steps over it.
bool parse_string(const char*& p, char end, std::string& out, std::string& error) {
    while (*p != end) {
        if (*p == '\0') {
            error = std::string("missing closing ") + end;
            return false;
        }
        if (*p == '\\') {
            ++p;
            if (!parse_escape(p, out, error)) return false;
        } else {
            out += *p++;
        }
    }
    ++p;
    return true;
}

bool split_words(const char* p, std::vector<std::string>& words, std::string& error) {
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0' || *p == '\n') return true;
        std::string word;
        if (*p == '"') {
            ++p;
            if (!parse_string(p, '"', word, error)) return false;
        } else {
            while (*p && *p != ' ' && *p != '\t' && *p != '\n') word += *p++;
        }
        words.push_back(word);
    }
}

bool load_table(const char* path, std::vector<Case>& cases) {
    FILE* f = std::fopen(path, "r");
    if (!f) {
        std::fprintf(stderr, "clirun: %s: %s\n", path, std::strerror(errno));
        return false;
    }
    char buf[65536];
    int number = 0;
    bool ok = true;
    std::vector<std::pair<std::string, std::vector<Line>>> defines;
    bool defining = false;
    // lines go to the definition being read, else to the latest case
    auto target = [&]() -> std::vector<Line>* {
        if (defining) return &defines.back().second;
        return cases.empty() ? nullptr : &cases.back().lines;
    };
    while (ok && std::fgets(buf, sizeof buf, f)) {
        ++number;
        std::string error;
        std::vector<std::string> words;
        bool continued = buf[0] == ' ' || buf[0] == '\t';
        if (!split_words(buf, words, error)) {
            std::fprintf(stderr, "%s:%d: %s\n", path, number, error.c_str());
            ok = false;
        } else if (words.empty() || words[0][0] == '#') {
            continue;
        } else if (continued) {
            if (!target() || target()->empty()) {
                std::fprintf(stderr, "%s:%d: a continuation with nothing to continue\n", path, number);
                ok = false;
            } else {
                auto& last = target()->back().words;
                last.insert(last.end(), words.begin(), words.end());
            }
        } else if (words[0] == "define" && words.size() == 2 && !defining) {
            defines.emplace_back(words[1], std::vector<Line>());
            defining = true;
        } else if (words[0] == "end" && defining) {
            defining = false;
        } else if (words[0] == "use" && words.size() == 2 && target()) {
            bool found = false;
            for (auto& d : defines)
                if (d.first == words[1]) {
                    target()->insert(target()->end(), d.second.begin(), d.second.end());
                    found = true;
                }
            if (!found) {
                std::fprintf(stderr, "%s:%d: nothing is defined as %s\n", path, number, words[1].c_str());
                ok = false;
            }
        } else if (defining && words[0] == "case") {
            std::fprintf(stderr, "%s:%d: a case inside a definition\n", path, number);
            ok = false;
        } else if (words[0] == "case") {
            Case c;
            c.table = path;
            for (size_t i = 1; i < words.size(); ++i) c.title += (i > 1 ? " " : "") + words[i];
            cases.push_back(c);
        } else if (!target()) {
            std::fprintf(stderr, "%s:%d: '%s' before the first case\n", path, number, words[0].c_str());
            ok = false;
        } else {
            Line line;
            line.number = number;
            line.directive = words[0];
            line.words.assign(words.begin() + 1, words.end());
            target()->push_back(line);
        }
    }
    std::fclose(f);
    return ok;
}

std::string join(const std::vector<std::string>& words, size_t from) {
    std::string s;
    for (size_t i = from; i < words.size(); ++i) s += words[i];
    return s;
}

// One byte as it stands in a quoted string of a table.
std::string escaped(unsigned char c) {
    char hex[8];
    if (c == '\n') return "\\n";
    if (c == '\t') return "\\t";
    if (c == '\r') return "\\r";
    if (c == '"' || c == '\\') return std::string("\\") + static_cast<char>(c);
    if (c >= 0x20 && c < 0x7f) return std::string(1, static_cast<char>(c));
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    return hex;
}

// Bytes as one quoted string, on a single line.
std::string quote(const std::string& s) {
    std::string r = "\"";
    for (unsigned char c : s) r += escaped(c);
    return r + "\"";
}

// Asks the host side and waits for its answer line; false on no answer.
bool ask_host(const std::vector<std::string>& words, std::string& answer, std::string& error) {
    std::string line = "@@host";
    for (auto& w : words) {
        line += ' ';
        line += quote(w);
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    struct pollfd in = {0, POLLIN, 0};
    char buf[8192];
    for (;;) {
        if (poll(&in, 1, 30000) <= 0 || !std::fgets(buf, sizeof buf, stdin)) {
            error = "no answer from the host side";
            return false;
        }
        // the console echoes what it reads, and other lines may pass
        const char* p = std::strstr(buf, "@@reply \"");
        if (!p) continue;
        p += 9;
        answer.clear();
        return parse_string(p, '"', answer, error);
    }
}

// Shows bytes as a quoted string, one line of the text per line.
std::string show(const std::string& s, size_t from, size_t limit) {
    std::string r = "\"";
    size_t end = s.size() < from + limit ? s.size() : from + limit;
    if (from > 0) r = "..." + r;
    for (size_t i = from; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        r += escaped(c);
        if (c == '\n' && i + 1 < end) r += "\"\n              \"";
    }
    r += "\"";
    if (end < s.size()) r += "...";
    return r;
}

bool same(const char* what, const std::string& expected, const std::string& actual, std::string& report) {
    if (expected == actual) return true;
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    size_t from = at > 200 ? at - 200 : 0;
    // back up to a line start so the lines shown read whole
    while (from > 0 && expected[from - 1] != '\n') --from;
    char head[160];
    std::snprintf(head, sizeof head, "  %s differs at byte %zu (expected %zu bytes, got %zu):\n", what, at,
                  expected.size(), actual.size());
    report += head;
    report += "    expected: " + show(expected, from, 1500) + "\n";
    report += "    actual:   " + show(actual, from, 1500) + "\n";
    return false;
}

bool read_file(const std::string& path, std::string& content) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    content.clear();
    char buf[65536];
    ssize_t r;
    while ((r = read(fd, buf, sizeof buf)) > 0) content.append(buf, static_cast<size_t>(r));
    close(fd);
    return r == 0;
}

bool make_dirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool make_parent(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 || make_dirs(path.substr(0, slash));
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}

bool is_number(const std::string& s) {
    if (s.empty()) return false;
    char* stop = nullptr;
    std::strtoul(s.c_str(), &stop, 0);
    return *stop == '\0';
}

struct RunSettings {
    std::vector<std::pair<std::string, std::string>> env;
    std::string input;
    bool stdin_closed = false;
    bool stdout_closed = false;
    bool stderr_closed = false;
    std::string stdout_to;  // empty: captured
    long fsize_limit = -1;
    int timeout_s = 60;
    std::string preload;       // a library's path
    std::string stop_on;       // stop once the file stop_file holds this
    std::string stop_file;     // empty: the run's standard output
    bool stop_on_set = false;
    long stop_after_ms = -1;
};

std::string program_path(const std::string& name) {
    std::string path;
    for (auto& p : g_programs)
        if (p.first == name) path = p.second;
    return path;
}

// The command line of a program run: under the emulator when there is one.
std::vector<std::string> command_words(const std::string& path, const std::vector<std::string>& argv_words,
                                       const std::string& preload) {
    std::vector<std::string> words = g_emulator;
    if (!g_emulator.empty() && !preload.empty()) {
        words.push_back("-E");
        words.push_back("LD_PRELOAD=" + preload);
    }
    words.push_back(path);
    words.insert(words.end(), argv_words.begin() + 1, argv_words.end());
    return words;
}

bool file_holds(const std::string& path, const std::string& text) {
    std::string content;
    return read_file(path, content) && content.find(text) != std::string::npos;
}

// Runs in base/work; the captures lie beside it, out of the program's sight.
Outcome run_program(const std::string& base, const std::vector<std::string>& argv_words, const RunSettings& rs,
                    std::string& error) {
    Outcome o;
    std::string path = program_path(argv_words[0]);
    if (path.empty()) {
        error = "no --program for " + argv_words[0];
        return o;
    }
    std::vector<std::string> words = command_words(path, argv_words, rs.preload);
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    // a program run without an emulator sees its own name, as on the board
    std::string own_name = argv_words[0];
    if (g_emulator.empty()) argv[0] = const_cast<char*>(own_name.c_str());

    std::string dir = base + "/work";
    std::string in_path = base + "/in", out_path = base + "/out", err_path = base + "/err";
    FILE* in = std::fopen(in_path.c_str(), "w");
    if (!in || std::fwrite(rs.input.data(), 1, rs.input.size(), in) != rs.input.size()) error = "cannot write stdin";
    if (in) std::fclose(in);
    if (!error.empty()) return o;

    // the slow pipe's ends: the run writes, this process reads
    int slow[2] = {-1, -1};
    if (rs.stdout_to == "slow-pipe" && pipe(slow) != 0) {
        error = "cannot make a pipe";
        return o;
    }
    pid_t pid = fork();
    if (pid == 0) {
        int fd_in = open(in_path.c_str(), O_RDONLY);
        int fd_out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int fd_err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd_in < 0 || fd_out < 0 || fd_err < 0 || chdir(dir.c_str()) != 0) _exit(126);
        if (rs.stdout_to == "closed-pipe") {
            int ends[2];
            if (pipe(ends) != 0) _exit(126);
            close(ends[0]);
            close(fd_out);
            fd_out = ends[1];
            signal(SIGPIPE, SIG_DFL);
        } else if (rs.stdout_to == "slow-pipe") {
            close(slow[0]);
            close(fd_out);
            fd_out = slow[1];
            if (fcntl(fd_out, F_SETFL, O_NONBLOCK) != 0) _exit(126);
        } else if (!rs.stdout_to.empty()) {
            close(fd_out);
            fd_out = open(rs.stdout_to.c_str(), O_WRONLY);
            if (fd_out < 0) _exit(126);
        }
        dup2(fd_in, 0);
        dup2(fd_out, 1);
        dup2(fd_err, 2);
        // the program's first open then gets descriptor 0
        if (rs.stdin_closed) close(0);
        if (rs.stdout_closed) close(1);
        if (rs.stderr_closed) close(2);
        umask(022);
        setenv("LC_ALL", "C", 1);
        for (auto& e : rs.env) setenv(e.first.c_str(), e.second.c_str(), 1);
        if (g_emulator.empty() && !rs.preload.empty()) setenv("LD_PRELOAD", rs.preload.c_str(), 1);
        if (rs.fsize_limit >= 0) {
            struct rlimit rl = {static_cast<rlim_t>(rs.fsize_limit), static_cast<rlim_t>(rs.fsize_limit)};
            setrlimit(RLIMIT_FSIZE, &rl);
            signal(SIGXFSZ, SIG_DFL);  // the program itself must turn it into EFBIG
        }
        execvp(words[0].c_str(), argv.data());
        std::fprintf(stderr, "clirun: %s: %s\n", words[0].c_str(), std::strerror(errno));
        _exit(127);
    }
    if (slow[1] >= 0) {
        close(slow[1]);
        fcntl(slow[0], F_SETFL, O_NONBLOCK);
    }
    if (pid < 0) {
        if (slow[0] >= 0) close(slow[0]);
        error = "fork failed";
        return o;
    }
    std::string slow_out;
    auto drain = [&slow, &slow_out]() {
        char chunk[65536];
        ssize_t got;
        while ((got = read(slow[0], chunk, sizeof chunk)) > 0) slow_out.append(chunk, static_cast<size_t>(got));
    };
    int wstatus = 0;
    struct timespec tick = {0, 2000000};
    long waited_ms = 0;
    bool timed_out = false, stopped = false;
    std::string watched = rs.stop_file.empty() ? out_path : dir + "/" + rs.stop_file;
    if (!rs.stop_file.empty() && rs.stop_file[0] == '/') watched = rs.stop_file;
    for (;;) {
        pid_t r = waitpid(pid, &wstatus, WNOHANG);
        if (r == pid) break;
        if (waited_ms > rs.timeout_s * 1000L && !timed_out) {
            kill(pid, SIGKILL);
            timed_out = true;
        }
        if (!stopped && ((rs.stop_after_ms >= 0 && waited_ms >= rs.stop_after_ms) ||
                         (rs.stop_on_set && waited_ms % 10 == 0 && file_holds(watched, rs.stop_on)))) {
            kill(pid, SIGTERM);
            stopped = true;
        }
        if (slow[0] >= 0 && waited_ms >= 1000) drain();
        nanosleep(&tick, nullptr);
        waited_ms += 2;
    }
    if (!read_file(out_path, o.out) || !read_file(err_path, o.err)) error = "cannot read the captured output";
    if (slow[0] >= 0) {
        drain();  // the writer is gone: the pipe holds all that is left
        close(slow[0]);
        o.out = slow_out;
    }
    o.status = timed_out ? "timed out"
               : WIFEXITED(wstatus) ? "exit " + std::to_string(WEXITSTATUS(wstatus))
                                    : "signal " + std::to_string(WTERMSIG(wstatus));
    return o;
}

// Starts a peer beside the runs, its output into log; returns its pid or -1.
pid_t start_peer(const std::string& base, const std::vector<std::string>& argv_words, const RunSettings& rs,
                 const std::string& log, std::string& error) {
    std::string path = program_path(argv_words[0]);
    if (path.empty()) {
        error = "no --program for " + argv_words[0];
        return -1;
    }
    std::vector<std::string> words = command_words(path, argv_words, "");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    std::string dir = base + "/work";
    pid_t pid = fork();
    if (pid == 0) {
        int fd_in = open("/dev/null", O_RDONLY);
        int fd_log = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd_in < 0 || fd_log < 0 || chdir(dir.c_str()) != 0) _exit(126);
        dup2(fd_in, 0);
        dup2(fd_log, 1);
        dup2(fd_log, 2);
        setenv("LC_ALL", "C", 1);
        for (auto& e : rs.env) setenv(e.first.c_str(), e.second.c_str(), 1);
        execvp(words[0].c_str(), argv.data());
        std::fprintf(stderr, "clirun: %s: %s\n", words[0].c_str(), std::strerror(errno));
        _exit(127);
    }
    if (pid < 0) error = "fork failed";
    return pid;
}

}  // namespace

namespace {

enum class Result { kPass, kFail, kSkip };

// Runs one case in a scratch directory of its own; report gets what failed.
Result run_case(const Case& c, std::string& report, std::string& skip_reason) {
    const char* tmp = std::getenv("TMPDIR");
    std::string base_template = std::string(tmp && *tmp ? tmp : "/tmp") + "/clirun.XXXXXX";
    std::vector<char> name(base_template.begin(), base_template.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        report = "  cannot make a scratch directory\n";
        return Result::kFail;
    }
    std::string base = name.data();
    std::string work = base + "/work";
    mkdir(work.c_str(), 0755);

    auto at = [&](const std::string& p) { return p.empty() || p[0] == '/' ? p : work + "/" + p; };
    RunSettings rs;
    Outcome last;
    std::string host_answer;
    bool have_run = false, saw_out = false, saw_err = false, saw_status = false;
    bool ok = true;
    auto close_run = [&]() {
        if (!have_run) return;
        if (!saw_out) ok &= same("stdout", "", last.out, report);
        if (!saw_err) ok &= same("stderr", "", last.err, report);
        if (!saw_status) ok &= same("status", "exit 0", last.status, report);
        have_run = false;
    };
    std::vector<std::pair<pid_t, std::string>> peers;  // pid and log
    Result result = Result::kPass;
    for (const Line& line : c.lines) {
        const auto& w = line.words;
        const std::string& d = line.directive;
        std::string where = c.table + ":" + std::to_string(line.number) + ": ";
        auto bad = [&](const char* why) {
            report += "  " + where + d + ": " + why + "\n";
            ok = false;
        };
        struct stat st = {};
        if (d == "skip-if-exists" || d == "skip-unless-exists") {
            if (w.size() != 1) { bad("needs a path"); break; }
            bool exists = lstat(w[0].c_str(), &st) == 0;
            if (exists == (d == "skip-if-exists")) {
                skip_reason = w[0] + (exists ? " exists on this machine" : " is missing on this machine");
                result = Result::kSkip;
                break;
            }
        } else if (d == "mkdir") {
            if (w.size() != 1) { bad("needs a path"); break; }
            if (!make_dirs(at(w[0]))) { bad(std::strerror(errno)); break; }
        } else if (d == "write") {
            bool has_offset = w.size() >= 3 && is_number(w[1]);
            if (w.size() < 2) { bad("needs a path and bytes"); break; }
            std::string bytes = join(w, has_offset ? 2 : 1);
            off_t offset = has_offset ? static_cast<off_t>(std::strtoull(w[1].c_str(), nullptr, 0)) : 0;
            int fd = make_parent(at(w[0])) ? open(at(w[0]).c_str(), O_WRONLY | O_CREAT, 0644) : -1;
            bool wrote = fd >= 0 && pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
            if (fd >= 0) close(fd);
            if (!wrote) { bad(std::strerror(errno)); break; }
        } else if (d == "size") {
            if (w.size() != 2 || !is_number(w[1])) { bad("needs a path and a size"); break; }
            int fd = make_parent(at(w[0])) ? open(at(w[0]).c_str(), O_WRONLY | O_CREAT, 0644) : -1;
            bool sized = fd >= 0 && ftruncate(fd, static_cast<off_t>(std::strtoull(w[1].c_str(), nullptr, 0))) == 0;
            if (fd >= 0) close(fd);
            if (!sized) { bad(std::strerror(errno)); break; }
        } else if (d == "symlink") {
            if (w.size() != 2) { bad("needs a path and a target"); break; }
            if (!make_parent(at(w[0])) || symlink(w[1].c_str(), at(w[0]).c_str()) != 0) {
                bad(std::strerror(errno));
                break;
            }
        } else if (d == "remove") {
            if (w.size() != 1) { bad("needs a path"); break; }
            if (unlink(at(w[0]).c_str()) != 0) { bad(std::strerror(errno)); break; }
        } else if (d == "env") {
            if (w.size() < 1) { bad("needs a name"); break; }
            rs.env.emplace_back(w[0], join(w, 1));
        } else if (d == "fsize-limit") {
            if (w.size() != 1 || !is_number(w[0])) { bad("needs a byte count"); break; }
            rs.fsize_limit = std::strtol(w[0].c_str(), nullptr, 0);
        } else if (d == "stdin") {
            rs.input = join(w, 0);
        } else if (d == "stdin-closed") {
            rs.stdin_closed = true;
        } else if (d == "stdout-closed") {
            rs.stdout_closed = true;
        } else if (d == "stderr-closed") {
            rs.stderr_closed = true;
        } else if (d == "stdout-to") {
            if (w.size() != 1) { bad("needs a path, closed-pipe or slow-pipe"); break; }
            rs.stdout_to = w[0] == "closed-pipe" || w[0] == "slow-pipe" ? w[0] : at(w[0]);
        } else if (d == "run") {
            close_run();
            if (w.empty()) { bad("needs a program"); break; }
            std::string error;
            last = run_program(base, w, rs, error);
            if (!error.empty()) { bad(error.c_str()); break; }
            have_run = true;
            saw_out = saw_err = saw_status = false;
        } else if (d == "stdout" || d == "stderr" || d == "status") {
            if (!have_run) { bad("comes before any run"); break; }
            if (d == "stdout") {
                ok &= same("stdout", join(w, 0), last.out, report);
                saw_out = true;
            } else if (d == "stderr") {
                bool qualified = !w.empty() && (w[0] == "glibc" || w[0] == "musl");
                if (!qualified) ok &= same("stderr", join(w, 0), last.err, report);
                else if (w[0] == g_libc) ok &= same("stderr", join(w, 1), last.err, report);
                saw_err = true;
            } else {
                std::string expected = w.size() == 2 && w[0] == "signal" ? "signal " + w[1] : "exit " + join(w, 0);
                ok &= same("status", expected, last.status, report);
                saw_status = true;
            }
        } else if (d == "file") {
            if (w.empty()) { bad("needs a path"); break; }
            std::string content;
            if (lstat(at(w[0]).c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !read_file(at(w[0]), content)) {
                report += "  " + w[0] + " is not a readable file\n";
                ok = false;
            } else {
                ok &= same(w[0].c_str(), join(w, 1), content, report);
            }
        } else if (d == "host") {
            std::string error;
            if (w.empty()) { bad("needs words"); break; }
            if (!ask_host(w, host_answer, error)) { bad(error.c_str()); break; }
        } else if (d == "host-reply") {
            ok &= same("host reply", join(w, 0), host_answer, report);
        } else if (d == "bytes") {
            if (w.size() < 3 || !is_number(w[1])) { bad("needs a path, an offset and bytes"); break; }
            std::string expected = join(w, 2);
            std::string actual(expected.size(), '\0');
            int fd = open(at(w[0]).c_str(), O_RDONLY | O_CLOEXEC);
            off_t offset = static_cast<off_t>(std::strtoull(w[1].c_str(), nullptr, 0));
            ssize_t got = fd >= 0 ? pread(fd, actual.data(), actual.size(), offset) : -1;
            if (fd >= 0) close(fd);
            if (got < 0) {
                report += "  " + w[0] + " cannot be read\n";
                ok = false;
            } else {
                actual.resize(static_cast<size_t>(got));
                ok &= same((w[0] + " at " + w[1]).c_str(), expected, actual, report);
            }
        } else if (d == "absent") {
            if (w.size() != 1) { bad("needs a path"); break; }
            if (lstat(at(w[0]).c_str(), &st) == 0) {
                report += "  " + w[0] + " exists, but should not\n";
                ok = false;
            }
        } else if (d == "mode") {
            if (w.size() != 2) { bad("needs a path and octal bits"); break; }
            unsigned long want = std::strtoul(w[1].c_str(), nullptr, 8);
            if (lstat(at(w[0]).c_str(), &st) != 0 || (st.st_mode & 07777) != want) {
                char got[64];
                std::snprintf(got, sizeof got, "%o", static_cast<unsigned>(st.st_mode & 07777));
                report += "  " + w[0] + " has mode " + got + ", expected " + w[1] + "\n";
                ok = false;
            }
        } else if (d == "peer") {
            if (w.empty()) { bad("needs a program"); break; }
            std::string error, log = base + "/peer" + std::to_string(peers.size() + 1) + ".log";
            pid_t pid = start_peer(base, w, rs, log, error);
            if (pid < 0) { bad(error.c_str()); break; }
            peers.emplace_back(pid, log);
        } else if (d == "await") {
            if (w.size() != 1) { bad("needs a path"); break; }
            struct timespec tick = {0, 2000000};
            for (long waited_ms = 0; lstat(at(w[0]).c_str(), &st) != 0; waited_ms += 2) {
                if (waited_ms > rs.timeout_s * 1000L) break;
                nanosleep(&tick, nullptr);
            }
            if (lstat(at(w[0]).c_str(), &st) != 0) { bad("nothing came there in time"); break; }
        } else if (d == "preload") {
            if (w.size() != 1) { bad("needs a library"); break; }
            rs.preload = program_path(w[0]);
            if (rs.preload.empty()) { bad(("no --program for " + w[0]).c_str()); break; }
        } else if (d == "stop-on" || d == "stop-on-file") {
            bool on_file = d == "stop-on-file";
            if (w.size() < (on_file ? 2u : 1u)) { bad(on_file ? "needs a path and a string" : "needs a string"); break; }
            rs.stop_file = on_file ? w[0] : "";
            rs.stop_on = join(w, on_file ? 1 : 0);
            rs.stop_on_set = true;
        } else if (d == "stop-after") {
            char* stop = nullptr;
            double seconds = w.size() == 1 ? std::strtod(w[0].c_str(), &stop) : -1;
            if (w.size() != 1 || *stop || seconds < 0) { bad("needs a number of seconds"); break; }
            rs.stop_after_ms = static_cast<long>(seconds * 1000);
        } else {
            bad("unknown directive");
            break;
        }
    }
    if (result != Result::kSkip) close_run();
    for (auto& peer : peers) {
        kill(peer.first, SIGTERM);
        waitpid(peer.first, nullptr, 0);
        std::string log;
        if (!ok && read_file(peer.second, log) && !log.empty()) report += "  peer printed: " + show(log, 0, 1500) + "\n";
    }
    nftw(base.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    if (result == Result::kSkip) return result;
    return ok ? Result::kPass : Result::kFail;
}

std::vector<std::string> split_command(const char* text) {
    std::vector<std::string> words;
    std::string error;
    split_words(text, words, error);
    return words;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Case> cases;
    long only = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--emulator" && i + 1 < argc) {
            g_emulator = split_command(argv[++i]);
        } else if (a == "--libc" && i + 1 < argc) {
            g_libc = argv[++i];
        } else if (a == "--program" && i + 1 < argc) {
            std::string p = argv[++i];
            size_t eq = p.find('=');
            if (eq == std::string::npos) {
                std::fprintf(stderr, "clirun: --program takes NAME=PATH\n");
                return 2;
            }
            std::string path = p.substr(eq + 1);
            char cwd[4096];
            // the runs start in their scratch directories, so a path must not be relative
            if (!path.empty() && path[0] != '/' && getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
            g_programs.emplace_back(p.substr(0, eq), path);
        } else if (a == "--case" && i + 1 < argc) {
            only = std::strtol(argv[++i], nullptr, 10);
        } else if (!load_table(argv[i], cases)) {
            return 2;
        }
    }
    if (cases.empty() || only < 0 || only > static_cast<long>(cases.size())) {
        std::fprintf(stderr, "usage: clirun [--emulator CMD] [--libc NAME] [--program NAME=PATH]... [--case N] TABLE...\n");
        return 2;
    }
    int passed = 0, failed = 0, skipped = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        if (only && static_cast<long>(i) + 1 != only) continue;
        std::string report, reason;
        Result r = run_case(cases[i], report, reason);
        const char* title = cases[i].title.c_str();
        if (r == Result::kPass) {
            ++passed;
            std::printf("ok %zu - %s\n", i + 1, title);
        } else if (r == Result::kSkip) {
            ++skipped;
            std::printf("skip %zu - %s: %s\n", i + 1, title, reason.c_str());
        } else {
            ++failed;
            std::printf("FAIL %zu - %s\n%s", i + 1, title, report.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    if (failed) return 1;
    return passed == 0 ? 77 : 0;
}
