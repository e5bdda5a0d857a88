// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"
#include "PosixTermios2.h"

// How the Linux tty layer takes a port's line settings: the termios settings, the modem-line
// levels this program drives itself, and what is emulated on reading. The rules of what Linux can
// and cannot apply are all in one pure function, so they can be checked without a terminal.
struct TPosixLine {
    TLineConfig Termios;
    bool DriveRts = false; // RTS is this program's to set (no hardware flow control drives it)
    bool Rts = false;
    bool Dtr = false;
    // Emulated on reading: NUL bytes dropped, and the event character noticed.
    bool DiscardNull = false;
    char EventChar = 0;
};

// 0 with the line filled in, or EINVAL for a setting that Linux has no form for: it is refused
// rather than silently replaced by another one.
int PosixLineFor(const TLineSettings& settings, TPosixLine& line);
