// SPDX-License-Identifier: GPL-3.0-or-later
#include "PosixTermios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int ApplyLineConfig(int fd, const TLineConfig& config)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return errno;

    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY
                   | INPCK | IGNPAR);
    if (config.ParityCheck)
        t.c_iflag |= INPCK;
    if (config.XonXoffOut)
        t.c_iflag |= IXON;
    if (config.XonXoffIn)
        t.c_iflag |= IXOFF;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);

    t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | CREAD | CLOCAL;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[config.ByteSize - 5];
    if (config.StopBit2)
        t.c_cflag |= CSTOPB;
    switch (config.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (config.HardwareFlow)
        t.c_cflag |= CRTSCTS;
    t.c_ispeed = config.BaudRate;
    t.c_ospeed = config.BaudRate;

    // Reads return at once with what has arrived (the descriptor is non-blocking).
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = static_cast<cc_t>(config.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(config.XoffChar);

    if (ioctl(fd, TCSETS2, &t) != 0)
        return errno;
    // A UART that cannot make the rate may keep its old one and still report success.
    if (ReadBackBaudRate(fd) != config.BaudRate)
        return EINVAL;
    return 0;
}

std::uint32_t ReadBackBaudRate(int fd)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return t.c_ospeed;
}
