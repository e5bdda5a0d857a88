// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

// Xlib's macros (None, Bool, Status...) break other headers: its types are only named here.
typedef struct _XDisplay Display;
typedef unsigned long XWindow;

// An X server of the test's own (Xvfb), with a window manager on it when asked for, as a user's
// desktop has: it frames the windows, focuses new ones and hands focus back when one closes.
// The test drives the programs on it as a user would, through pointer clicks and keys.
class TXDesktop {
public:
    enum TWindowManager { NoWindowManager, WithWindowManager };
    explicit TXDesktop(TWindowManager manager);
    ~TXDesktop();
    TXDesktop(const TXDesktop&) = delete;
    TXDesktop& operator=(const TXDesktop&) = delete;

    bool Ready() const { return display_ != nullptr && (manager_ == NoWindowManager || managed_); }
    Display* Connection() const { return display_; }
    const std::string& Name() const { return name_; }

    // The viewable top-level window whose title contains `title` (or equals it), once one shows;
    // 0 when none showed in time.
    XWindow FindWindow(const std::string& title, std::chrono::milliseconds timeout = std::chrono::seconds(60));
    XWindow FindExactWindow(const std::string& title, std::chrono::milliseconds timeout);
    // How many viewable windows carry exactly this title right now.
    int CountExactWindows(const std::string& title);
    // Whether the keyboard focus is in the window.
    bool HasFocus(XWindow window);
    // Asks the window manager to activate the window, as a click on its task-bar entry does, and
    // waits until it has the focus.
    bool Activate(XWindow window, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // A left click at a position inside the window's client area.
    void Click(XWindow window, int x, int y);
    // A key, by its X name ("Return", "End", "a"), with Control held when asked.
    void Key(const char* name, bool control = false);
    // Types the text, one key per character (letters, digits, blanks).
    void Type(const std::string& text);
    // What the close box of a title bar does: ask the window to close.
    void CloseBox(XWindow window);

    // Checks the condition every few milliseconds until it holds or the time is up.
    static bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

private:
    TWindowManager manager_;
    std::string name_;
    std::unique_ptr<TChildProcess> server_;
    std::unique_ptr<TChildProcess> windowManager_;
    Display* display_ = nullptr;
    bool managed_ = false;
};
