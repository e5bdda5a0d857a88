// SPDX-License-Identifier: GPL-3.0-or-later
#include "Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

using Clock = std::chrono::steady_clock;

TPty::TPty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath_ = QString::fromLocal8Bit(ptsname(master_));
}

TPty::~TPty()
{
    CloseMaster();
}

void TPty::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void TPty::Write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0)
            throw std::runtime_error("write to pty master failed");
        done += n;
    }
}

std::vector<TPty::TTimedByte> TPty::ReadTimed(int count, std::chrono::milliseconds timeout)
{
    std::vector<TTimedByte> bytes;
    const auto deadline = Clock::now() + timeout;
    while (int(bytes.size()) < count) {
        // Looks at least once, even with no time left.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{master_, POLLIN, 0};
        const bool readable = poll(&p, 1, int(std::max<long long>(left, 0))) > 0 && (p.revents & POLLIN);
        if (!readable) {
            if (left <= 0)
                break;
            continue;
        }
        unsigned char buffer[256];
        const ssize_t n = ::read(master_, buffer, std::min<std::size_t>(sizeof buffer, std::size_t(count) - bytes.size()));
        const auto at = Clock::now();
        for (ssize_t i = 0; i < n; ++i)
            bytes.push_back({buffer[i], at});
    }
    return bytes;
}

QByteArray TPty::Read(int count, std::chrono::milliseconds timeout)
{
    QByteArray result;
    for (const auto& b : ReadTimed(count, timeout))
        result += char(b.Byte);
    return result;
}

QByteArray TPty::ReadUntilQuiet(std::chrono::milliseconds quiet)
{
    QByteArray result;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, int(quiet.count())) <= 0 || !(p.revents & POLLIN))
            return result;
        char buffer[256];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            return result;
        result.append(buffer, n);
    }
}

void TPty::HoldOutput(bool hold)
{
    if (!hold) {
        Write("\x11"); // XON
        return;
    }
    // XOFF takes effect when the terminal has processed it, a moment after it was written. A
    // byte behind it shows that moment: once that byte is waiting on the terminal's side, the
    // XOFF before it has been acted on. (The byte stays there, unread by the port.)
    Write("\x13!");
    const int slave = ::open(slavePath_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0)
        throw std::runtime_error("cannot look at the terminal's input (an exclusive port, and not root?)");
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    int waiting = 0;
    while ((ioctl(slave, FIONREAD, &waiting) != 0 || waiting < 1) && Clock::now() < deadline)
        poll(nullptr, 0, 1);
    ::close(slave);
    if (waiting < 1)
        throw std::runtime_error("the terminal did not take the XOFF");
}
