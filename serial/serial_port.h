// SPDX-License-Identifier: MIT WITH fmt-exception
// Serial port module: one Linux serial line in raw mode, written a byte or a
// buffer at a time and read a byte or a burst at a time. The line's 0.1 s
// read timer paces every read; nothing here spins or sleeps.
//
// One line at a time: the module keeps the settings of the latest line that
// serial_open opened, and serial_close puts those back whatever descriptor it
// is given. Calling order: serial_open, then reads, writes and modem-line
// changes on its descriptor, serial_close last (or never: the line then keeps
// the module's settings). serial_checksum needs no line.
#pragma once

#include <cstdint>
#include <termios.h>

// Parity codes of serial_open; any other value means no parity.
constexpr int kParityEven = 1;
constexpr int kParityOdd = 2;

// Module state, zero when the process starts.
// NOLINTBEGIN(bugprone-dynamic-static-initializers): declarations only; the check takes them for definitions
extern struct termios saved_settings;  // the latest opened line's settings before serial_open
extern struct termios line_settings;   // the settings serial_open built and applied
extern uint8_t last_byte;              // what serial_read_byte read last; 0 until a byte came
extern int last_read_count;            // the last serial_read_byte's read: 1, 0 (time-out) or -1
// NOLINTEND(bugprone-dynamic-static-initializers)

// Opens path for reading and writing (blocking, not as the controlling
// terminal), saves its settings in saved_settings, discards its unread input
// and applies line_settings built from zero: raw 8-bit input and output,
// reads that return what is queued or nothing after 0.1 s, CLOCAL, no flow
// control. speed 2400, 4800, 9600, 19200, 38400, 57600 or 115200 bits per
// second, any other value 9600; data_bits 7 gives 7 data bits, any other 8;
// stop_bits 2 gives two stop bits, any other one; parity kParityEven or
// kParityOdd, any other none. Input parity checking stays off.
// Returns the descriptor (0 or more). Returns -1 when the device does not
// open; then "path: reason" has been printed on standard error and the
// module state is unchanged. Failures of the settings calls are not detected.
[[nodiscard]] int serial_open(const char* path, int speed, int data_bits, int stop_bits, int parity);

// Applies saved_settings to fd (result not examined) and closes fd.
// Returns the result of close: 0, or -1.
int serial_close(int fd);

// Sends the low 8 bits of value in one write. Returns 0 when the byte was
// written, -1 otherwise.
int serial_write_byte(int fd, int value);

// Sends length bytes of data in one write, without retrying. Returns 0 when
// all length bytes were written (length 0 included), -1 on a failure, a
// partial write or a negative length.
int serial_write(int fd, const void* data, int length);

// Reads one byte into last_byte, waiting at most 0.1 s, and leaves the read's
// result (1, 0 or -1) in last_read_count. Returns last_byte, 0 to 255: after
// a time-out or a failure that is still the byte read before (0 if none was).
int serial_read_byte(int fd);

// Collects one burst into buffer: reads until the line has been quiet for
// 0.1 s, until a read fails, or until size bytes are stored. Returns the
// number of bytes stored, 0 to size (0 after 0.1 s when nothing arrives);
// failures are not reported. Bytes beyond size stay queued for the next call.
// Adds no terminating zero.
int serial_read_until_idle(int fd, void* buffer, int size);

// Returns the 8-bit sum of length bytes of data, each taken as 0 to 255; with
// complement 1 its two's complement instead (so that the bytes and it add up
// to 0 modulo 256); 0 for no bytes in both modes.
[[nodiscard]] int serial_checksum(const void* data, int length, int complement);

// Raise (on non-zero) or lower (on 0) the RTS or DTR modem line and leave the
// other modem lines as they were. Return the result of the TIOCMSET request,
// 0 or -1; -1 without writing anything when the lines cannot be read first.
int serial_set_rts(int fd, int on);
int serial_set_dtr(int fd, int on);
