// Finding a program's window on an X server and asking it to close, for the tools that drive the
// real program through X (the process tests and the start-up timer).
#pragma once

#include <cstring>

#include <X11/Xlib.h>

namespace XWindows {

// The first viewable window under `window` (itself included) whose title contains `title`,
// searched depth first; 0 when there is none.
inline Window FindViewable(Display* display, Window window, const char* title)
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
            found = FindViewable(display, children[i], title);
        if (children)
            XFree(children);
    }
    return found;
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
