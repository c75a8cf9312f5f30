// SPDX-License-Identifier: MIT WITH fmt-exception
// The serial port module on the board's line as the fake board gives it: a
// pty with the modem lines of a UART. Runs with the fake board preloaded.
#include <cstdlib>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "scratch.h"
#include "serial_port.h"

namespace {

class BoardLine : public ::testing::Test {
protected:
    void SetUp() override {
        char name[64];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        ASSERT_EQ(symlink(name, scratch_.path("tty").c_str()), 0);
        setenv("FAKEBOARD_TTY", scratch_.path("tty").c_str(), 1);
        setenv("FAKEBOARD_LOG", scratch_.path("board.log").c_str(), 1);
        setenv("FAKEBOARD_TTY_MODEM", "0x166", 1);  // DTR, RTS, CTS, CD and DSR up
    }
    void TearDown() override {
        close(slave_);
        close(master_);
    }
    Scratch scratch_;
    int master_ = -1, slave_ = -1;
};

TEST_F(BoardLine, RtsAndDtrChangeTheirLineAndKeepTheOthers) {
    int fd = serial_open("/dev/ttyO1", 115200, 8, 1, 1);
    ASSERT_GE(fd, 0) << "is the fake board preloaded?";
    EXPECT_EQ(serial_set_rts(fd, 0), 0);
    EXPECT_EQ(serial_set_dtr(fd, 0), 0);
    EXPECT_EQ(serial_set_rts(fd, 2), 0);
    EXPECT_EQ(serial_set_dtr(fd, 1), 0);
    EXPECT_EQ(scratch_.read("board.log"),
              "ttyO1 TIOCMGET 0x166\nttyO1 TIOCMSET 0x162\n"
              "ttyO1 TIOCMGET 0x162\nttyO1 TIOCMSET 0x160\n"
              "ttyO1 TIOCMGET 0x160\nttyO1 TIOCMSET 0x164\n"
              "ttyO1 TIOCMGET 0x164\nttyO1 TIOCMSET 0x166\n");
    EXPECT_EQ(serial_close(fd), 0);
}

}  // namespace
