// SPDX-License-Identifier: GPL-3.0-or-later
// Starts a program on the X server in DISPLAY, measures the time until its window is shown,
// closes the window as its close box would, and reports the program's peak memory.
//
//   startup-timer RUNS TITLE PROGRAM [ARGUMENT...]
//
// Prints one line of JSON per run: {"shown_ms": ..., "peak_rss_kib": ..., "exit": ...}.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <X11/Xlib.h>

#include "XWindows.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup-timer RUNS TITLE PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const char* title = argv[2];
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup-timer: no X server\n");
        return 1;
    }
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[3], argv + 3);
            _exit(127);
        }
        Window window = 0;
        while (!window && Clock::now() - start < std::chrono::seconds(120)) {
            window = XWindows::FindViewable(display, DefaultRootWindow(display), title);
            if (!window)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const double shown = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        XWindows::RequestClose(display, window);
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        std::printf("{\"shown_ms\": %.2f, \"peak_rss_kib\": %ld, \"exit\": %d}\n", shown, usage.ru_maxrss,
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        std::fflush(stdout);
    }
    XCloseDisplay(display);
    return 0;
}
