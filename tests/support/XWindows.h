// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a program's window on an X server and asking it to close, for the tools that drive the
// real program through X (the process tests and the start-up timer).
#pragma once

#include <cstring>

#include <X11/Xlib.h>

namespace XWindows {

// The viewable windows under `window` (itself included) whose title contains `title` (or, with
// exact, is `title`), depth first: each is handed to `found`, which returns true to stop there.
template <class Found>
inline bool VisitViewable(Display* display, Window window, const char* title, bool exact, Found&& found)
{
    char* name = nullptr;
    bool match = false;
    if (XFetchName(display, window, &name) && name) {
        match = exact ? std::strcmp(name, title) == 0 : std::strstr(name, title) != nullptr;
        XFree(name);
    }
    XWindowAttributes attributes{};
    if (match && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable
        && found(window))
        return true;
    Window root;
    Window parent;
    Window* children = nullptr;
    unsigned count = 0;
    bool stopped = false;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !stopped; ++i)
            stopped = VisitViewable(display, children[i], title, exact, found);
        if (children)
            XFree(children);
    }
    return stopped;
}

// The first viewable window under `window` (itself included) whose title contains `title` (or,
// with exact, is `title`), searched depth first; 0 when there is none.
inline Window FindViewable(Display* display, Window window, const char* title, bool exact = false)
{
    Window first = 0;
    VisitViewable(display, window, title, exact, [&](Window w) {
        first = w;
        return true;
    });
    return first;
}

// What the close box of a title bar does: ask the window to close.
inline void RequestClose(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

} // namespace XWindows
