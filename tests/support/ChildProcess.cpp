// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

TChildProcess::TChildProcess(const std::vector<std::string>& argv, const TOptions& options)
{
    // Everything the child needs is prepared before fork(): in a threaded process, the child may
    // only make async-signal-safe calls until it execs.
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        const bool replaced = std::any_of(options.Environment.begin(), options.Environment.end(),
                                          [&](const std::string& o) { return o.rfind(name, 0) == 0; });
        if (!replaced)
            environment.push_back(entry);
    }
    environment.insert(environment.end(), options.Environment.begin(), options.Environment.end());
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const int null = options.QuietOutput ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;

    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ != 0) {
        if (null >= 0)
            close(null);
        return;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) // the test ended before the line above took effect
        _exit(127);
    if (null >= 0)
        dup2(null, STDOUT_FILENO);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
}

TChildProcess::~TChildProcess()
{
    if (pid_ > 0)
        Stop(SIGKILL);
}

void TChildProcess::Signal(int signal) const
{
    if (pid_ > 0)
        kill(pid_, signal);
}

std::optional<int> TChildProcess::WaitExit(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0) {
        int status = 0;
        const pid_t reaped = waitpid(pid_, &status, WNOHANG);
        if (reaped == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (reaped < 0 || std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

std::optional<int> TChildProcess::Stop(int signal)
{
    Signal(signal);
    return WaitExit(std::chrono::seconds(30));
}
