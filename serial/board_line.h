// SPDX-License-Identifier: MIT WITH fmt-exception
// The board's serial line, as both serial programs use it.
#pragma once
#include <linux/serial.h>  // struct serial_rs485, which some processors' TIOCSRS485 names
#include <sys/ioctl.h>

#include "serial_port.h"

// Its number differs between processors (mips, powerpc, sparc...); the generic
// one stands only where a header older than Linux 2.6.35 lacks the name.
#ifndef TIOCSRS485
#define TIOCSRS485 0x542F
#endif

constexpr char kBoardLine[] = "/dev/ttyO1";
constexpr int kLineSpeed = 115200;
constexpr int kLineDataBits = 8;
constexpr int kLineStopBits = 1;
// given the plain value 1, not a record
constexpr unsigned long kRs485Request = TIOCSRS485;
constexpr unsigned long kRs485Value = 1;

constexpr int kBurstCapacity = 256;
constexpr int kReceiveArea = kBurstCapacity + 1;  // a full burst keeps its terminating zero

// Opens the line at 115200 bit/s, 8 data bits, even parity, one stop bit,
// then issues the RS-485 request, whose result no driver is relied on for.
// Returns what serial_open returns: the descriptor, or -1 after its message.
inline int board_line_open() {
    int fd = serial_open(kBoardLine, kLineSpeed, kLineDataBits, kLineStopBits, kParityEven);
    if (fd >= 0) ioctl(fd, kRs485Request, kRs485Value);
    return fd;
}
