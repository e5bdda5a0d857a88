// SPDX-License-Identifier: GPL-3.0-or-later
#include "XDesktop.h"

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <thread>

// Last: Xlib's macros would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include "XWindows.h"

using namespace std::chrono_literals;

namespace {

// Whether a window manager runs on the display: it names its check window on the root.
bool WindowManagerRunning(Display* display)
{
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                                          &type, &format, &count, &after, &data) == Success
        && count == 1;
    if (data)
        XFree(data);
    return found;
}

// Windows come and go while the test looks at them; a request about one that just went is no
// failure of the test (Xlib's default handler would end the process).
int IgnoreError(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

TXDesktop::TXDesktop(TWindowManager manager)
    : manager_(manager)
{
    // Xvfb picks a free display itself and writes its number to the pipe: tests that run at the
    // same time never race for one.
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return;
    server_ = std::make_unique<TChildProcess>(std::vector<std::string>{
        "Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    close(pipeFds[1]);
    std::string number;
    char c;
    pollfd ready{pipeFds[0], POLLIN, 0};
    while (poll(&ready, 1, 30000) == 1 && read(pipeFds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(pipeFds[0]);
    if (number.empty())
        return;
    name_ = ":" + number;
    XSetErrorHandler(IgnoreError);
    display_ = XOpenDisplay(name_.c_str());
    if (!display_ || manager == NoWindowManager)
        return;
    // The window manager names its check window early in its start-up, before it manages new
    // windows: a window mapped in between stays unmapped for good (seen with openbox on a busy
    // machine). Its start-up command runs once it is ready, and leaves a file behind.
    char folder[] = "/tmp/sentrax-wm-XXXXXX";
    if (!mkdtemp(folder))
        return;
    const std::string started = std::string(folder) + "/ready";
    windowManager_ = std::make_unique<TChildProcess>(
        std::vector<std::string>{"openbox", "--sm-disable", "--startup", "touch " + started},
        TChildProcess::TOptions{{"DISPLAY=" + name_}, true});
    managed_ = WaitFor([&] { return access(started.c_str(), F_OK) == 0 && WindowManagerRunning(display_); }, 60s);
    unlink(started.c_str());
    rmdir(folder);
}

TXDesktop::~TXDesktop()
{
    if (display_)
        XCloseDisplay(display_);
    if (windowManager_)
        windowManager_->Stop(SIGTERM);
    if (server_)
        server_->Stop(SIGTERM);
}

bool TXDesktop::WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

XWindow TXDesktop::FindWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    Window found = 0;
    WaitFor([&] { return (found = XWindows::FindViewable(display_, DefaultRootWindow(display_), title.c_str())) != 0; },
            timeout);
    return found;
}

XWindow TXDesktop::FindExactWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    Window found = 0;
    WaitFor([&] { return (found = XWindows::FindViewable(display_, DefaultRootWindow(display_), title.c_str(), true)) != 0; },
            timeout);
    return found;
}

int TXDesktop::CountExactWindows(const std::string& title)
{
    int count = 0;
    XWindows::VisitViewable(display_, DefaultRootWindow(display_), title.c_str(), true, [&](Window) {
        ++count;
        return false;
    });
    return count;
}

bool TXDesktop::HasFocus(XWindow window)
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    // The focus may sit on a child of the window (the toolkit's own focus window).
    while (focus != 0 && focus != PointerRoot && focus != window) {
        Window root;
        Window parent = 0;
        Window* children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(display_, focus, &root, &parent, &children, &n))
            return false;
        if (children)
            XFree(children);
        if (parent == root)
            return false;
        focus = parent;
    }
    return focus == window;
}

bool TXDesktop::Activate(XWindow window, std::chrono::milliseconds timeout)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // asked for by the user, through a pager or task bar
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(display_);
    return WaitFor([&] { return HasFocus(window); }, timeout);
}

void TXDesktop::Click(XWindow window, int x, int y)
{
    int rootX = 0;
    int rootY = 0;
    Window child;
    // From the client area, wherever the window manager's frame put it.
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    // A window manager may hold the press back (a grab through which it focuses the window) and
    // let it through a little later, while keys pass at once: keys typed right after a click
    // would overtake it. The pointer is frozen until the press is let through, so a move behind
    // it shows when that has happened.
    XTestFakeMotionEvent(display_, -1, rootX + 1, rootY, CurrentTime);
    XFlush(display_);
    WaitFor([&] {
        Window root;
        Window child;
        int x = 0;
        int y = 0;
        int windowX = 0;
        int windowY = 0;
        unsigned mask = 0;
        XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &x, &y, &windowX, &windowY, &mask);
        return x == rootX + 1 && y == rootY;
    }, 10s);
}

void TXDesktop::Key(const char* name, bool control)
{
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(name));
    const KeyCode controlCode = XKeysymToKeycode(display_, XK_Control_L);
    if (control)
        XTestFakeKeyEvent(display_, controlCode, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    if (control)
        XTestFakeKeyEvent(display_, controlCode, False, CurrentTime);
    XFlush(display_);
}

void TXDesktop::Type(const std::string& text)
{
    for (const char c : text)
        Key(c == ' ' ? "space" : std::string(1, c).c_str());
}

void TXDesktop::CloseBox(XWindow window)
{
    XWindows::RequestClose(display_, window);
}
