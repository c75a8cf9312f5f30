// SPDX-License-Identifier: MIT WITH fmt-exception
// linepeer: the far end of the board's serial line, for tests and benchmarks.
//
//   linepeer LINK RECORD STEP...
//
// Makes a pseudo-terminal and links LINK to its line side (give LINK to the
// fake board as FAKEBOARD_TTY), waits until a program has opened the line and
// set it up (non-canonical, with the 0.1 s read timer), then takes the steps
// in order, appending every byte that comes from the line to the file RECORD.
// When the steps are done it goes on answering until it is ended by a signal.
//
// How it answers a message (the bytes that come less than 20 ms apart):
//   silent              not at all (until another answer step)
//   loop                with the message at once
//   late                with the message, once the next message has come
//   partial N           with the message's first N bytes only
//   split N MS          with its first N bytes, and the rest MS ms later
//   extra TEXT          with the message followed by TEXT
// What it does:
//   send TEXT           sends TEXT in one write
//   pause MS            waits MS ms, answering meanwhile
//   roundtrip N TEXT    sends TEXT N times, each once the one before is back
//                       whole, and prints the round-trip times
//   stream SECONDS RATE sends non-zero bytes at RATE bytes a second for
//                       SECONDS, then checks that all came back in order
//   end                 ends the peer here instead of answering on
// TEXT takes the escapes \0 \n \\ and \xHH.
//
// Exit status: 1 when a stream did not come back whole and in order, or a
// round trip timed out; 2 for a bad step or a pty that cannot be made.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kMessageGapMs = 20;
constexpr int kSetUpPollMs = 2;
constexpr int kRoundTripLimitMs = 2000;
constexpr int kStreamSliceMs = 10;
constexpr int kStreamDrainMs = 3000;

enum class Answer { kSilent, kLoop, kLate, kPartial, kSplit, kExtra };

int g_line = -1;
int g_record = -1;
Answer g_answer = Answer::kSilent;
size_t g_keep = 0;  // partial, split: bytes of the first piece
int g_split_ms = 0;
std::string g_extra;
std::string g_held;  // late: the message still to be answered

long now_ms() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000;
}

double now_s() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void sleep_ms(long ms) {
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

void fail(const char* what) {
    std::fprintf(stderr, "linepeer: %s\n", what);
    std::exit(2);
}

std::string decode(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p != '\\' || !p[1]) {
            out += *p;
            continue;
        }
        char c = *++p;
        if (c == '0') out += '\0';
        else if (c == 'n') out += '\n';
        else if (c == 'x' && p[1] && p[2]) {
            char hex[3] = {p[1], p[2], '\0'};
            out += static_cast<char>(std::strtol(hex, nullptr, 16));
            p += 2;
        } else out += c;
    }
    return out;
}

void send(const std::string& bytes) {
    if (bytes.empty()) return;
    if (write(g_line, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) fail("cannot write the line");
}

// Whatever the line gives within wait_ms, and then for as long as more
// comes within gap_ms; recorded on the way.
std::string take(int wait_ms, int gap_ms) {
    std::string got;
    struct pollfd p = {g_line, POLLIN, 0};
    for (int wait = wait_ms; poll(&p, 1, wait) > 0; wait = gap_ms) {
        char buf[4096];
        ssize_t r = read(g_line, buf, sizeof buf);
        if (r <= 0) break;
        got.append(buf, static_cast<size_t>(r));
        if (write(g_record, buf, static_cast<size_t>(r)) != r) fail("cannot write the record");
    }
    return got;
}

void answer(const std::string& message) {
    switch (g_answer) {
        case Answer::kSilent: break;
        case Answer::kLoop: send(message); break;
        case Answer::kLate:
            send(g_held);
            g_held = message;
            break;
        case Answer::kPartial: send(message.substr(0, g_keep)); break;
        case Answer::kSplit:
            send(message.substr(0, g_keep));
            sleep_ms(g_split_ms);
            if (message.size() > g_keep) send(message.substr(g_keep));
            break;
        case Answer::kExtra: send(message + g_extra); break;
    }
}

// Answers what comes until the time is up (forever for -1).
void serve(long for_ms) {
    long end = now_ms() + for_ms;
    for (;;) {
        long left = for_ms < 0 ? 1000 : end - now_ms();
        if (left <= 0) return;
        std::string message = take(static_cast<int>(left), kMessageGapMs);
        if (!message.empty()) answer(message);
    }
}

void wait_for_set_up() {
    for (;;) {
        struct termios t;
        // the master reads back the line side's settings
        if (tcgetattr(g_line, &t) == 0 && !(t.c_lflag & ICANON) && t.c_cc[VTIME] == 1) return;
        sleep_ms(kSetUpPollMs);
    }
}

bool round_trips(int count, const std::string& text) {
    double least = 1e9, most = 0, total = 0;
    for (int i = 0; i < count; ++i) {
        double start = now_s();
        send(text);
        std::string back;
        long limit = now_ms() + kRoundTripLimitMs;
        while (back.size() < text.size() && now_ms() < limit) back += take(10, 0);
        double took = (now_s() - start) * 1000;
        if (back.size() < text.size()) {
            std::printf("roundtrip: burst %d came back with %zu of %zu bytes\n", i + 1, back.size(), text.size());
            return false;
        }
        least = took < least ? took : least;
        most = took > most ? took : most;
        total += took;
    }
    std::printf("roundtrip: %d bursts of %zu bytes: min %.1f ms, mean %.1f ms, max %.1f ms\n", count, text.size(), least,
                total / count, most);
    return true;
}

bool stream(int seconds, int rate) {
    std::string sent, back;
    long start = now_ms();
    long end = start + seconds * 1000L;
    unsigned counter = 0;
    for (long slice = start; slice < end; slice += kStreamSliceMs) {
        size_t due = static_cast<size_t>((slice - start + kStreamSliceMs) * rate / 1000);
        std::string chunk;
        while (sent.size() + chunk.size() < due) chunk += static_cast<char>(1 + counter++ % 255);
        send(chunk);
        sent += chunk;
        // read what comes back until the slice is over, so the rate holds
        for (long left; (left = slice + kStreamSliceMs - now_ms()) > 0;) back += take(static_cast<int>(left), 0);
    }
    for (long quiet_since = now_ms(); back.size() < sent.size() && now_ms() - quiet_since < kStreamDrainMs;) {
        std::string more = take(100, 0);
        if (!more.empty()) quiet_since = now_ms();
        back += more;
    }
    size_t at = 0;
    while (at < sent.size() && at < back.size() && sent[at] == back[at]) ++at;
    bool whole = at == sent.size() && back.size() == sent.size();
    std::printf("stream: %d s at %d bytes/s: sent %zu bytes, got back %zu, %s", seconds, rate, sent.size(),
                back.size(), whole ? "all in order\n" : "");
    if (!whole) std::printf("first difference at byte %zu\n", at);
    return whole;
}

int number(const char* text) {
    char* stop = nullptr;
    long v = std::strtol(text, &stop, 10);
    if (stop == text || *stop || v < 0) fail("a step needs a number");
    return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) fail("usage: linepeer LINK RECORD STEP...");
    int line_side = -1;
    char name[256];
    if (openpty(&g_line, &line_side, name, nullptr, nullptr) != 0) fail(std::strerror(errno));
    // the peer keeps the line side open too, so the pty outlives the program
    g_record = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (g_record < 0) fail("cannot make the record");
    unlink(argv[1]);
    if (symlink(name, argv[1]) != 0) fail(std::strerror(errno));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    wait_for_set_up();

    int status = 0;
    for (int i = 3; i < argc; ++i) {
        std::string step = argv[i];
        auto arg = [&](int k) -> const char* {
            if (i + k >= argc) fail(("the step " + step + " needs more arguments").c_str());
            return argv[i + k];
        };
        if (step == "silent") g_answer = Answer::kSilent;
        else if (step == "loop") g_answer = Answer::kLoop;
        else if (step == "late") g_answer = Answer::kLate;
        else if (step == "partial") {
            g_answer = Answer::kPartial;
            g_keep = static_cast<size_t>(number(arg(1)));
            i += 1;
        } else if (step == "split") {
            g_answer = Answer::kSplit;
            g_keep = static_cast<size_t>(number(arg(1)));
            g_split_ms = number(arg(2));
            i += 2;
        } else if (step == "extra") {
            g_answer = Answer::kExtra;
            g_extra = decode(arg(1));
            i += 1;
        } else if (step == "send") {
            send(decode(arg(1)));
            i += 1;
        } else if (step == "pause") {
            serve(number(arg(1)));
            i += 1;
        } else if (step == "roundtrip") {
            if (!round_trips(number(arg(1)), decode(arg(2)))) status = 1;
            i += 2;
        } else if (step == "end") {
            return status;
        } else if (step == "stream") {
            if (!stream(number(arg(1)), number(arg(2)))) status = 1;
            i += 2;
        } else {
            fail(("unknown step " + step).c_str());
        }
    }
    if (status != 0) return status;
    serve(-1);
}
