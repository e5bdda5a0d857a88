// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// A program the test starts. It dies with the test process however that ends (a crashed or
// stopped test leaves nothing behind), and is killed when the object goes.
class TChildProcess {
public:
    struct TOptions {
        std::vector<std::string> Environment; // NAME=value, added to the test's own
        bool QuietOutput = false;             // standard output to /dev/null
    };
    TChildProcess(const std::vector<std::string>& argv, const TOptions& options);
    explicit TChildProcess(const std::vector<std::string>& argv) : TChildProcess(argv, TOptions{}) {}
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running() const { return pid_ > 0; }
    void Signal(int signal) const;
    // Waits for the program to end and reaps it: its exit code, 128 + the signal that ended it,
    // or nothing when it did not end in time.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout);
    // Ends it with the signal and reaps it.
    std::optional<int> Stop(int signal);

private:
    pid_t pid_ = -1;
};
