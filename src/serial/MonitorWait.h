// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"

#include <optional>

struct pollfd;

// The wait of a device's monitor thread, and the kick that ends it early: the main thread kicks
// after a write, a change of the event mask, or when it has taken what the monitor waits for off
// the device. The kick is an eventfd, open while the device is.
class TMonitorWait {
public:
    TMonitorWait() = default;
    ~TMonitorWait();
    TMonitorWait(const TMonitorWait&) = delete;
    TMonitorWait& operator=(const TMonitorWait&) = delete;

    int Open(); // 0, or the error number when the system has no eventfd left to give
    void Close();

    // Wakes the monitor, or its next wait if it is not waiting now. Does nothing while closed.
    void Kick();
    // Waits up to timeoutMs (-1: no limit) for the stop event, a kick, or an event of `device`
    // (`device.revents` then holds it). Returns how the monitor's wait ends, Stopped or Failed
    // (`error` then holds why); nothing otherwise: a kick is taken, and the caller looks again.
    std::optional<TWaitResult> Wait(const TStopEvent& stop, pollfd& device, int timeoutMs, int& error);

private:
    int fd_ = -1;
};
