// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"

#include <chrono>
#include <cstdint>
#include <optional>

// The devices' time-outs on the steady clock. A deadline that is absent, or the clock's maximum,
// means no limit.
using TSteadyTime = std::chrono::steady_clock::time_point;

inline constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFF; // "maximum" in TCommTimeouts

// A time-out of multiplier * n + constant milliseconds from now; none when both are zero.
std::optional<TSteadyTime> TotalDeadline(std::uint32_t multiplier, std::uint32_t constant, int n);
// Milliseconds left until the deadline for poll(): -1 without a deadline, never below 0.
int PollTimeout(TSteadyTime deadline);
int PollTimeout(const std::optional<TSteadyTime>& deadline);
bool Passed(const std::optional<TSteadyTime>& deadline);

// When one read of `size` bytes stops waiting for more, as the read time-outs say.
class TReadDeadline {
public:
    TReadDeadline(const TCommTimeouts& timeouts, int size);

    // Interval and multiplier "maximum", a constant: wait up to the constant for a first byte,
    // and return with it.
    bool FirstByteOnly() const { return firstByteOnly_; }

    // Bytes have arrived: the interval time-out starts again.
    void Received();
    // Whether the read returns now with what it has: its time is up, or (interval "maximum" with
    // no totals) it never waits.
    bool Over() const;
    // Until when the read waits for more: the earlier of the total time-out and the interval's end.
    std::optional<TSteadyTime> Next() const;

private:
    bool immediate_;
    bool firstByteOnly_;
    std::uint32_t intervalMs_; // 0: no interval time-out
    std::optional<TSteadyTime> total_;
    std::optional<TSteadyTime> intervalEnd_;
};
