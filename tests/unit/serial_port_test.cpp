// SPDX-License-Identifier: MIT WITH fmt-exception
#include "serial_port.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// The test binary is linked with --wrap=tcsetattr and --wrap=ioctl: these
// stand between the module and the kernel. A pty forces CS8 and CREAD and
// drops PARENB, so what the module asked for is recorded here.
extern "C" int __real_tcsetattr(int fd, int actions, const struct termios* t);
extern "C" int __real_ioctl(int fd, unsigned long request, ...);

namespace {

struct termios g_given;
int g_given_actions = -1;
int g_tcsetattr_calls = 0;

// A modem-line word for one descriptor, as a UART would keep it; a pty has none.
constexpr int kNoModem = -100;  // not -1, which the tests give as a bad descriptor
int g_modem_fd = kNoModem;
int g_modem_word = 0;
int g_modem_set_result = 0;
int g_tiocmset_calls = 0;

}  // namespace

extern "C" int __wrap_tcsetattr(int fd, int actions, const struct termios* t) {
    g_given = *t;
    g_given_actions = actions;
    ++g_tcsetattr_calls;
    return __real_tcsetattr(fd, actions, t);
}

extern "C" int __wrap_ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (request == TIOCMSET) ++g_tiocmset_calls;
    if (fd == g_modem_fd && request == TIOCMGET) {
        *static_cast<int*>(arg) = g_modem_word;
        return 0;
    }
    if (fd == g_modem_fd && request == TIOCMSET) {
        if (g_modem_set_result == 0) g_modem_word = *static_cast<int*>(arg);
        return g_modem_set_result;
    }
    return __real_ioctl(fd, request, arg);
}

namespace {

constexpr tcflag_t kExpectedCflag = B115200 | CS8 | PARENB | CLOCAL | CREAD;

// A pseudo-terminal: the module opens the slave by its path, the test
// drives the master.
class Pty : public ::testing::Test {
protected:
    void SetUp() override {
        char name[64];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0) << std::strerror(errno);
        path_ = name;
    }
    void TearDown() override {
        if (fd_ >= 0) close(fd_);
        close(slave_);
        close(master_);
    }
    int open_line(int speed = 115200, int data_bits = 8, int stop_bits = 1, int parity = 1) {
        fd_ = serial_open(path_.c_str(), speed, data_bits, stop_bits, parity);
        return fd_;
    }
    // What the line holds now, read through the master.
    struct termios kept() const {
        struct termios t = {};
        tcgetattr(master_, &t);
        return t;
    }
    void send(const std::string& bytes) const {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Whatever the master can read within 0.2 s.
    std::string sent_to_peer() const {
        std::string got;
        char buf[512];
        for (;;) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(master_, &set);
            struct timeval tv = {0, 200000};
            if (select(master_ + 1, &set, nullptr, nullptr, &tv) <= 0) return got;
            ssize_t r = read(master_, buf, sizeof buf);
            if (r <= 0) return got;
            got.append(buf, static_cast<size_t>(r));
        }
    }
    int master_ = -1, slave_ = -1, fd_ = -1;
    std::string path_;
};

long elapsed_ms(const struct timespec& since) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - since.tv_sec) * 1000 + (now.tv_nsec - since.tv_nsec) / 1000000;
}

// Writes pieces to the master from a child process, pause_ms apart.
pid_t send_later(int master, std::initializer_list<const char*> pieces, int pause_ms) {
    pid_t pid = fork();
    if (pid == 0) {
        for (const char* p : pieces) {
            struct timespec pause = {pause_ms / 1000, (pause_ms % 1000) * 1000000L};
            nanosleep(&pause, nullptr);
            if (write(master, p, std::strlen(p)) < 0) _exit(1);
        }
        _exit(0);
    }
    return pid;
}

int reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST_F(Pty, OpenAppliesTheBoardSettingsBuiltFromZero) {
    // settings that must not carry over into the new ones
    struct termios before = kept();
    before.c_iflag |= ICRNL | IXON | INPCK | ISTRIP;
    before.c_oflag |= OPOST | ONLCR;
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_cflag |= HUPCL | CRTSCTS;
    before.c_cc[VINTR] = 3;
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &before), 0);

    ASSERT_GE(open_line(115200, 8, 1, 1), 0);
    EXPECT_EQ(g_given_actions, TCSADRAIN);
    EXPECT_EQ(g_given.c_cflag, kExpectedCflag);
    EXPECT_EQ(g_given.c_iflag, 5u);
    EXPECT_EQ(g_given.c_oflag, 0u);
    EXPECT_EQ(g_given.c_lflag, 0u);
    EXPECT_EQ(g_given.c_line, 0);
    for (int i = 0; i < NCCS; ++i) {
        if (i == VTIME || i == VMIN) continue;
        EXPECT_EQ(g_given.c_cc[i], 0) << "c_cc[" << i << "]";
    }
    EXPECT_EQ(g_given.c_cc[VTIME], 1);
    EXPECT_EQ(g_given.c_cc[VMIN], 0);
#if defined(_HAVE_STRUCT_TERMIOS_C_ISPEED) && _HAVE_STRUCT_TERMIOS_C_ISPEED
    EXPECT_EQ(g_given.c_ispeed, static_cast<speed_t>(B115200));
    EXPECT_EQ(g_given.c_ospeed, static_cast<speed_t>(B115200));
#endif
    EXPECT_EQ(std::memcmp(&g_given, &line_settings, sizeof g_given), 0);

    // what the pty kept of it (it forces CS8 and CREAD and drops parity itself)
    struct termios now = kept();
    EXPECT_EQ(now.c_iflag, 5u);
    EXPECT_EQ(now.c_oflag, 0u);
    EXPECT_EQ(now.c_lflag, 0u);
    EXPECT_EQ(now.c_cc[VTIME], 1);
    EXPECT_EQ(now.c_cc[VMIN], 0);
    EXPECT_EQ(now.c_cc[VINTR], 0);
    EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&now), static_cast<speed_t>(B115200));
    EXPECT_EQ(now.c_cflag & (CLOCAL | HUPCL | CRTSCTS | CSTOPB), static_cast<tcflag_t>(CLOCAL));
}

TEST_F(Pty, OpenSavesTheSettingsTheLineHadAndCloseRestoresThem) {
    struct termios before = kept();
    cfsetospeed(&before, B4800);
    cfsetispeed(&before, B4800);
    before.c_lflag |= ECHO | ICANON;
    before.c_cc[VTIME] = 7;
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &before), 0);
    struct termios original = kept();

    int fd = open_line();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(std::memcmp(&saved_settings, &original, sizeof original), 0);
    EXPECT_EQ(kept().c_cc[VTIME], 1);

    fd_ = -1;
    EXPECT_EQ(serial_close(fd), 0);
    EXPECT_EQ(g_given_actions, TCSADRAIN);
    EXPECT_EQ(std::memcmp(&g_given, &saved_settings, sizeof g_given), 0);
    struct termios after = kept();
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B4800));
    EXPECT_EQ(after.c_lflag & (ECHO | ICANON), static_cast<tcflag_t>(ECHO | ICANON));
    EXPECT_EQ(after.c_cc[VTIME], 7);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the descriptor is closed";
    EXPECT_EQ(serial_close(fd), -1);
}

TEST_F(Pty, OpenDiscardsInputQueuedBeforeIt) {
    struct termios raw = kept();
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &raw), 0);
    send("stale");
    ASSERT_GE(open_line(), 0);
    char buf[16];
    EXPECT_EQ(serial_read_until_idle(fd_, buf, sizeof buf), 0);
}

TEST(SerialOpen, AMissingDeviceIsReportedInThePerrorFormAndChangesNothing) {
    struct termios before = saved_settings;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(serial_open("/nonexistent/ttyX9", 115200, 8, 1, 1), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "/nonexistent/ttyX9: No such file or directory\n");
    EXPECT_EQ(std::memcmp(&before, &saved_settings, sizeof before), 0);
}

struct FieldCase {
    int speed, data_bits, stop_bits, parity;
    tcflag_t cflag;
};

class OpenFields : public Pty, public ::testing::WithParamInterface<FieldCase> {};

// Every c_cflag the module gives, recorded at the kernel boundary, and the
// speed and stop bits the pty keeps as well.
TEST_P(OpenFields, CflagHoldsSpeedSizeStopBitsAndParity) {
    const FieldCase& c = GetParam();
    ASSERT_GE(open_line(c.speed, c.data_bits, c.stop_bits, c.parity), 0);
    EXPECT_EQ(g_given.c_cflag, c.cflag | CLOCAL | CREAD);
    speed_t code = c.cflag & CBAUD;
#if defined(_HAVE_STRUCT_TERMIOS_C_ISPEED) && _HAVE_STRUCT_TERMIOS_C_ISPEED
    EXPECT_EQ(g_given.c_ispeed, code);
    EXPECT_EQ(g_given.c_ospeed, code);
#endif
    EXPECT_EQ(g_given.c_iflag, 5u) << "INPCK stays off whatever the parity";
    struct termios now = kept();
    EXPECT_EQ(cfgetospeed(&now), code);
    EXPECT_EQ(now.c_cflag & CSTOPB, c.cflag & CSTOPB);
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, OpenFields,
    ::testing::Values(FieldCase{2400, 8, 1, 0, B2400 | CS8}, FieldCase{4800, 8, 1, 0, B4800 | CS8},
                      FieldCase{9600, 8, 1, 0, B9600 | CS8}, FieldCase{19200, 8, 1, 0, B19200 | CS8},
                      FieldCase{38400, 8, 1, 0, B38400 | CS8}, FieldCase{57600, 8, 1, 0, B57600 | CS8},
                      FieldCase{115200, 8, 1, 0, B115200 | CS8}, FieldCase{300, 8, 1, 0, B9600 | CS8},
                      FieldCase{0, 8, 1, 0, B9600 | CS8}, FieldCase{-1, 8, 1, 0, B9600 | CS8},
                      FieldCase{230400, 8, 1, 0, B9600 | CS8}));
INSTANTIATE_TEST_SUITE_P(
    DataBits, OpenFields,
    ::testing::Values(FieldCase{9600, 7, 1, 0, B9600 | CS7}, FieldCase{9600, 5, 1, 0, B9600 | CS8},
                      FieldCase{9600, 6, 1, 0, B9600 | CS8}, FieldCase{9600, 8, 1, 0, B9600 | CS8}));
INSTANTIATE_TEST_SUITE_P(
    StopBits, OpenFields,
    ::testing::Values(FieldCase{9600, 8, 2, 0, B9600 | CS8 | CSTOPB}, FieldCase{9600, 8, 0, 0, B9600 | CS8},
                      FieldCase{9600, 8, 3, 0, B9600 | CS8}));
INSTANTIATE_TEST_SUITE_P(
    Parity, OpenFields,
    ::testing::Values(FieldCase{9600, 8, 1, 1, B9600 | CS8 | PARENB},
                      FieldCase{9600, 8, 1, 2, B9600 | CS8 | PARENB | PARODD}, FieldCase{9600, 8, 1, 3, B9600 | CS8},
                      FieldCase{9600, 8, 1, -1, B9600 | CS8}, FieldCase{9600, 7, 2, 2, B9600 | CS7 | CSTOPB | PARENB | PARODD}));

TEST_F(Pty, AReadWithNothingArrivingReturnsNothingAfterTheReadTimer) {
    ASSERT_GE(open_line(), 0);
    char buf[16];
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    EXPECT_EQ(serial_read_until_idle(fd_, buf, sizeof buf), 0);
    EXPECT_GE(elapsed_ms(start), 80);
}

TEST_F(Pty, BytesLessThanTheReadTimerApartMakeOneBurst) {
    ASSERT_GE(open_line(), 0);
    pid_t writer = send_later(master_, {"ab", "cd", "ef"}, 20);
    char buf[64] = {};
    int got = 0;
    for (int tries = 0; got == 0 && tries < 50; ++tries) got = serial_read_until_idle(fd_, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(got)), "abcdef");
    EXPECT_EQ(reap(writer), 0);
}

TEST_F(Pty, BytesMoreThanTheReadTimerApartMakeSeparateBursts) {
    ASSERT_GE(open_line(), 0);
    pid_t writer = send_later(master_, {"ab", "cd"}, 300);
    char buf[64] = {};
    int first = 0;
    for (int tries = 0; first == 0 && tries < 50; ++tries) first = serial_read_until_idle(fd_, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(first)), "ab");
    int second = 0;
    for (int tries = 0; second == 0 && tries < 50; ++tries) second = serial_read_until_idle(fd_, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(second)), "cd");
    EXPECT_EQ(reap(writer), 0);
}

TEST_F(Pty, ABurstLongerThanTheBufferFillsItAndTheRestComesNext) {
    ASSERT_GE(open_line(), 0);
    std::string burst;
    for (int i = 0; i < 300; ++i) burst += static_cast<char>('A' + i % 26);
    send(burst);
    char buf[257];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(serial_read_until_idle(fd_, buf, 256), 256);
    EXPECT_EQ(std::string(buf, 256), burst.substr(0, 256));
    EXPECT_EQ(buf[256], '#') << "nothing is stored beyond size";
    EXPECT_EQ(serial_read_until_idle(fd_, buf, 256), 44);
    EXPECT_EQ(std::string(buf, 44), burst.substr(256));
}

TEST_F(Pty, AFailingReadEndsTheBurstWithWhatItHas) {
    char buf[16];
    EXPECT_EQ(serial_read_until_idle(-1, buf, sizeof buf), 0);
    ASSERT_GE(open_line(), 0);
    EXPECT_EQ(serial_read_until_idle(fd_, buf, 0), 0);
}

TEST_F(Pty, ReadByteKeepsTheLastByteAfterATimeOutOrAFailure) {
    ASSERT_GE(open_line(), 0);
    send("\xe9");
    EXPECT_EQ(serial_read_byte(fd_), 0xE9);
    EXPECT_EQ(last_read_count, 1);
    EXPECT_EQ(serial_read_byte(fd_), 0xE9);
    EXPECT_EQ(last_read_count, 0);
    EXPECT_EQ(serial_read_byte(-1), 0xE9);
    EXPECT_EQ(last_read_count, -1);
    send("q");
    EXPECT_EQ(serial_read_byte(fd_), 'q');
    EXPECT_EQ(last_read_count, 1);
}

TEST_F(Pty, WritesReachTheLineWhole) {
    ASSERT_GE(open_line(), 0);
    EXPECT_EQ(serial_write(fd_, "test\0line", 9), 0);
    EXPECT_EQ(serial_write(fd_, "", 0), 0);
    EXPECT_EQ(serial_write_byte(fd_, 0x141), 0) << "only the low 8 bits go out";
    EXPECT_EQ(serial_write_byte(fd_, 0xFF), 0);
    EXPECT_EQ(sent_to_peer(), std::string("test\0line", 9) + "A\xff");
}

TEST_F(Pty, WritesThatFailGiveMinusOne) {
    EXPECT_EQ(serial_write(-1, "x", 1), -1);
    EXPECT_EQ(serial_write_byte(-1, 'x'), -1);
    ASSERT_GE(open_line(), 0);
    EXPECT_EQ(serial_write(fd_, "x", -1), -1);
}

TEST(Checksum, PlainAndComplementedSums) {
    EXPECT_EQ(serial_checksum("abc", 3, 0), 0x26);
    EXPECT_EQ(serial_checksum("abc", 3, 1), 0xDA);
    EXPECT_EQ(serial_checksum("abc", 3, 2), 0x26) << "only 1 asks for the complement";
    EXPECT_EQ(serial_checksum("abcd", 3, 0), 0x26) << "only the first length bytes count";
    EXPECT_EQ(serial_checksum("", 0, 0), 0);
    EXPECT_EQ(serial_checksum("", 0, 1), 0);
    EXPECT_EQ(serial_checksum("\x80\x80", 2, 1), 0) << "a multiple of 256 complements to 0, not 256";
    EXPECT_EQ(serial_checksum("\xff\x01", 2, 0), 0);
    EXPECT_EQ(serial_checksum("\xff\xfe", 2, 0), 0xFD) << "high bytes add as 128 to 255";
    EXPECT_EQ(serial_checksum("\xff\xfe", 2, 1), 0x03);
}

class ModemLines : public Pty {
protected:
    void SetUp() override {
        Pty::SetUp();
        g_modem_fd = kNoModem;
        g_modem_set_result = 0;
        g_tiocmset_calls = 0;
    }
    void TearDown() override {
        g_modem_fd = kNoModem;
        Pty::TearDown();
    }
};

TEST_F(ModemLines, RtsAndDtrChangeOnlyTheirOwnLine) {
    ASSERT_GE(open_line(), 0);
    g_modem_fd = fd_;
    g_modem_word = TIOCM_RTS | TIOCM_DTR | TIOCM_CTS | TIOCM_CAR;
    EXPECT_EQ(serial_set_rts(fd_, 0), 0);
    EXPECT_EQ(g_modem_word, TIOCM_DTR | TIOCM_CTS | TIOCM_CAR);
    EXPECT_EQ(serial_set_rts(fd_, 7), 0) << "any non-zero value raises it";
    EXPECT_EQ(g_modem_word, TIOCM_RTS | TIOCM_DTR | TIOCM_CTS | TIOCM_CAR);
    EXPECT_EQ(serial_set_dtr(fd_, 0), 0);
    EXPECT_EQ(g_modem_word, TIOCM_RTS | TIOCM_CTS | TIOCM_CAR);
    EXPECT_EQ(serial_set_dtr(fd_, -1), 0);
    EXPECT_EQ(g_modem_word, TIOCM_RTS | TIOCM_DTR | TIOCM_CTS | TIOCM_CAR);
    EXPECT_EQ(g_tiocmset_calls, 4);
}

TEST_F(ModemLines, TheResultIsThatOfTheSetRequest) {
    ASSERT_GE(open_line(), 0);
    g_modem_fd = fd_;
    g_modem_word = TIOCM_DTR;
    g_modem_set_result = -1;
    EXPECT_EQ(serial_set_rts(fd_, 1), -1);
    EXPECT_EQ(serial_set_dtr(fd_, 0), -1);
    EXPECT_EQ(g_tiocmset_calls, 2);
}

TEST_F(ModemLines, LinesThatCannotBeReadAreNotWritten) {
    // a pty has no modem lines: TIOCMGET fails on it
    ASSERT_GE(open_line(), 0);
    EXPECT_EQ(serial_set_rts(fd_, 1), -1);
    EXPECT_EQ(serial_set_dtr(fd_, 1), -1);
    EXPECT_EQ(serial_set_rts(-1, 0), -1);
    EXPECT_EQ(g_tiocmset_calls, 0);
}

}  // namespace
