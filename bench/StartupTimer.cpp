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
#include <cstring>
#include <string>
#include <thread>

#include <X11/Xlib.h>

using Clock = std::chrono::steady_clock;

namespace {

Window Find(Display* display, Window window, const char* title)
{
    char* name = nullptr;
    bool match = false;
    if (XFetchName(display, window, &name) && name) {
        match = std::strstr(name, title) != nullptr;
        XFree(name);
    }
    XWindowAttributes attributes{};
    if (match && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)
        return window;
    Window root;
    Window parent;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i)
            found = Find(display, children[i], title);
        if (children)
            XFree(children);
    }
    return found;
}

} // namespace

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
            window = Find(display, DefaultRootWindow(display), title);
            if (!window)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const double shown = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
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
