// SPDX-License-Identifier: GPL-3.0-or-later
#include "MonitorWait.h"

#include "EComPort.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

int NewEventFd()
{
    return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void SignalEventFd(int fd)
{
    const std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

} // namespace

// --- TStopEvent -------------------------------------------------------------------------------

TStopEvent::TStopEvent()
    : fd_(NewEventFd())
{
    if (fd_ < 0)
        throw EComPort(erThreadCreated, errno);
}

TStopEvent::~TStopEvent()
{
    ::close(fd_);
}

void TStopEvent::Signal()
{
    SignalEventFd(fd_);
}

bool TStopEvent::IsSignalled() const
{
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

// --- TMonitorWait -----------------------------------------------------------------------------

TMonitorWait::~TMonitorWait()
{
    Close();
}

int TMonitorWait::Open()
{
    Close();
    fd_ = NewEventFd();
    return fd_ < 0 ? errno : 0;
}

void TMonitorWait::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void TMonitorWait::Kick()
{
    if (fd_ >= 0)
        SignalEventFd(fd_);
}

void TMonitorWait::SetMask(std::uint32_t mask)
{
    mask_ = mask;
    newMask_ = true;
    Kick();
}

std::optional<TWaitResult> TMonitorWait::Wait(const TStopEvent& stop, pollfd& device, int timeoutMs, int& error)
{
    pollfd fds[3] = {
        {stop.Handle(), POLLIN, 0},
        {fd_, POLLIN, 0},
        {device.fd, device.events, 0},
    };
    device.revents = 0;
    if (poll(fds, 3, timeoutMs) < 0) {
        if (errno == EINTR)
            return std::nullopt; // nothing to see: the caller looks again and waits again
        error = errno;
        return TWaitResult::Failed;
    }
    if (fds[0].revents)
        return TWaitResult::Stopped;
    if (fds[1].revents & POLLIN) {
        // Only drained: what it read, or whether it read, changes nothing.
        std::uint64_t count;
        [[maybe_unused]] const ssize_t drained = ::read(fd_, &count, sizeof count);
    }
    device.revents = fds[2].revents;
    return std::nullopt;
}
