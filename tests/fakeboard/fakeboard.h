// SPDX-License-Identifier: MIT WITH fmt-exception
// The fake board: a library preloaded into the unchanged programs that maps
// the board's fixed device paths to stand-ins on this machine and answers
// the requests that a stand-in cannot. The core (fakeboard.cpp) maps paths
// and hands each request on a mapped descriptor to the device part that owns
// it; every device is a part in a file of its own.
//
// Environment:
//   FAKEBOARD_LOG          a file that the parts append each answered request to
//   FAKEBOARD_SLEEP_SCALE  sleep() waits this factor of the time asked (0.1:
//                          a tenth); the order of events stays as it was
//   FAKEBOARD_LOG_CALLS    when set, every read and write on a part's
//                          descriptor ("ttyO1 read 0", with the result),
//                          every sleep ("sleep 1") and every nanosleep
//                          ("nanosleep 0.1": where it ends, in tenths of a
//                          second after the latest such read began) is logged
//                          too, so that a case counts calls instead of timing
//                          them
//   FAKEBOARD_READ_ERRNO   when set, every read on a part's descriptor fails
//                          at once with this errno (5: a line that is gone)
//   and one variable per part naming its stand-in; while it is unset, the
//   board path is opened as it stands. A stand-in "errno:N" makes the open
//   fail with errno N instead (13: permission denied).
#pragma once

struct DevicePart {
    const char* board_path;  // the path the programs open, "/dev/ttyO1"
    const char* variable;    // names the stand-in to open instead
    // Answers a request on a descriptor of the part: returns true with the
    // request's result in *result (errno set for -1), or false to hand the
    // request on to the stand-in.
    bool (*ioctl)(int fd, unsigned long request, void* arg, int* result);
    // Told of each descriptor opened through the part, with the program's
    // flags: returns false, with errno set, to refuse the stand-in, and the
    // core closes it and fails the open. May be null.
    bool (*opened)(int fd, int flags);
};

extern const DevicePart kTtyPart;
extern const DevicePart kSpidevPart;
extern const DevicePart kMemPart;

// Appends one line to FAKEBOARD_LOG, when it is set.
void board_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Logs "PART open O_RDWR|O_NONBLOCK": the program's open flags by name.
void board_log_open(const char* part, int flags);
