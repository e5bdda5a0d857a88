// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/resource.h>

// The processor time this process has used so far, in seconds: what a loop that spins would
// burn, whatever else the machine is doing.
inline double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
