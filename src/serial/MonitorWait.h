// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"

#include <atomic>
#include <cstdint>
#include <optional>

struct pollfd;

// What a device's monitor thread waits for, and its wait, with the kick that ends the wait early:
// the main thread kicks after a write, a new event mask, or when it has taken what the monitor
// waits for off the device. The kick is an eventfd, open while the device is.
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

    // The events the port asks for. A new mask kicks the monitor, which takes a fresh look at the
    // device before it waits again (TakeNewMask tells it so, once).
    void SetMask(std::uint32_t mask);
    std::uint32_t Mask() const { return mask_.load(); }
    bool TakeNewMask() { return newMask_.exchange(false); }

    // Waits up to timeoutMs (-1: no limit) for the stop event, a kick, or an event of `device`
    // (`device.revents` then holds it). Returns how the monitor's wait ends, Stopped or Failed
    // (`error` then holds why); nothing otherwise: a kick is taken, and the caller looks again.
    std::optional<TWaitResult> Wait(const TStopEvent& stop, pollfd& device, int timeoutMs, int& error);

private:
    int fd_ = -1;
    std::atomic<std::uint32_t> mask_{0};
    std::atomic<bool> newMask_{false};
};
