// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComTimeouts.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

} // namespace

std::optional<TSteadyTime> TotalDeadline(std::uint32_t multiplier, std::uint32_t constant, int n)
{
    if (multiplier == 0 && constant == 0)
        return std::nullopt;
    const auto ms = std::uint64_t{multiplier} * std::uint64_t(n) + constant;
    return Clock::now() + milliseconds(static_cast<long long>(std::min<std::uint64_t>(ms, 1ULL << 40)));
}

int PollTimeout(TSteadyTime deadline)
{
    if (deadline == TSteadyTime::max())
        return -1;
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

int PollTimeout(const std::optional<TSteadyTime>& deadline)
{
    return PollTimeout(deadline.value_or(TSteadyTime::max()));
}

bool Passed(const std::optional<TSteadyTime>& deadline)
{
    return deadline && Clock::now() >= *deadline;
}

TReadDeadline::TReadDeadline(const TCommTimeouts& t, int size)
    : immediate_(t.ReadIntervalTimeout == kMaxTimeout && t.ReadTotalTimeoutMultiplier == 0
                 && t.ReadTotalTimeoutConstant == 0)
    , firstByteOnly_(t.ReadIntervalTimeout == kMaxTimeout && t.ReadTotalTimeoutMultiplier == kMaxTimeout
                     && t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxTimeout)
    , intervalMs_(t.ReadIntervalTimeout != kMaxTimeout ? t.ReadIntervalTimeout : 0)
    , total_(immediate_ ? std::nullopt
                 : firstByteOnly_ ? std::optional(Clock::now() + milliseconds(t.ReadTotalTimeoutConstant))
                                  : TotalDeadline(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, size))
{
}

void TReadDeadline::Received()
{
    if (intervalMs_ != 0)
        intervalEnd_ = Clock::now() + milliseconds(intervalMs_);
}

bool TReadDeadline::Over() const
{
    return immediate_ || Passed(Next());
}

std::optional<TSteadyTime> TReadDeadline::Next() const
{
    if (intervalEnd_ && (!total_ || *intervalEnd_ < *total_))
        return intervalEnd_;
    return total_;
}
