// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Line settings in the form the kernel takes them. Applied through termios2 (TCSETS2 with
// BOTHER), which accepts any rate where the C library's speed_t table stops at a fixed list.
// <asm/termbits.h> cannot be included together with <termios.h>, so this lives in its own file.
struct TLineConfig {
    std::uint32_t BaudRate = 0;
    int ByteSize = 8;      // 5..8
    int Parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    bool StopBit2 = false; // CSTOPB: two stop bits, or one and a half with five data bits
    bool ParityCheck = false;
    bool HardwareFlow = false; // RTS/CTS
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    char XonChar = 0x11;
    char XoffChar = 0x13;
};

// Puts the device in raw mode with these settings and reads them back; returns 0 or an errno
// (EINVAL when the device quietly kept another rate).
int ApplyLineConfig(int fd, const TLineConfig& config);

// The output rate the device reports, or 0 when it cannot be read.
std::uint32_t ReadBackBaudRate(int fd);
