// SPDX-License-Identifier: GPL-3.0-or-later
// Kept apart from Pty.cpp: <asm/termbits.h> and <termios.h> cannot share a file.
#include "Pty.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

TPty::TSettings TPty::Settings() const
{
    struct termios2 t {};
    TSettings s;
    if (ioctl(master_, TCGETS2, &t) != 0)
        return s;
    s.OutputRate = t.c_ospeed;
    s.HardwareFlow = (t.c_cflag & CRTSCTS) != 0;
    s.XonXoffOut = (t.c_iflag & IXON) != 0;
    s.XonXoffIn = (t.c_iflag & IXOFF) != 0;
    s.XonChar = char(t.c_cc[VSTART]);
    s.XoffChar = char(t.c_cc[VSTOP]);
    s.Raw = !(t.c_lflag & (ICANON | ECHO | ISIG)) && !(t.c_oflag & OPOST);
    return s;
}
