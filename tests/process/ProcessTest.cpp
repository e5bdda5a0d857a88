// The real program, started as a user starts it, on an X server of its own (Xvfb), driven
// through X: pointer clicks and keys as a user makes them, and the close box's close request.

#include "Pty.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Last: Xlib's macros (None, Bool, Status...) would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include "XWindows.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // nothing outlives a test that was stopped
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Waits for a child to end and reaps it; its exit code, or nothing when it did not end in time.
std::optional<int> WaitExit(pid_t& pid, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t reaped = waitpid(pid, &status, WNOHANG);
        if (reaped == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (reaped < 0 || Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(20ms);
    }
}

// An X server of the test's own.
class TXServer {
public:
    TXServer()
    {
        // Xvfb picks a free display itself and writes its number to the pipe: tests that run at
        // the same time never race for one.
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        pid_ = Spawn({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {});
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
        display_ = XOpenDisplay(name_.c_str());
    }
    ~TXServer()
    {
        if (display_)
            XCloseDisplay(display_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            WaitExit(pid_, 5s);
        }
    }
    Display* Connection() const { return display_; }
    const std::string& Name() const { return name_; }

    // The top-level window whose title contains `title`.
    Window FindWindow(const std::string& title, std::chrono::milliseconds timeout = 60s)
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            if (const Window w = XWindows::FindViewable(display_, DefaultRootWindow(display_), title.c_str()))
                return w;
            std::this_thread::sleep_for(50ms);
        }
        return 0;
    }

    void Click(Window window, int x, int y)
    {
        int rootX = 0;
        int rootY = 0;
        Window child;
        XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
        XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XFlush(display_);
    }

    void Key(KeySym key)
    {
        const KeyCode code = XKeysymToKeycode(display_, key);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        XFlush(display_);
    }

    void CloseBox(Window window) { XWindows::RequestClose(display_, window); }

private:
    std::string name_;
    pid_t pid_ = -1;
    Display* display_ = nullptr;
};

// Window coordinates of the centre of a control, from its design position at 120 dpi (the
// X server here has the usual 96 dpi).
int Scaled(double design)
{
    return int(design * 96.0 / 120.0);
}

class Program : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(X.Connection(), nullptr) << "no X server";
        QDir().mkpath(RuntimeDir.path());
    }
    void TearDown() override
    {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            WaitExit(Pid, 5s);
        }
    }

    void Start(const std::vector<std::string>& env = {})
    {
        // English, whatever the developer's own settings: the test reads no texts, but a box could.
        std::vector<std::string> all{"DISPLAY=" + X.Name(), "QT_QPA_PLATFORM=xcb", "LANG=C", "LC_ALL=C",
                                     "XDG_RUNTIME_DIR=" + RuntimeDir.path().toStdString()};
        all.insert(all.end(), env.begin(), env.end());
        Pid = Spawn({SENTRAX_PROGRAM}, all);
        Main = X.FindWindow("Sentrax Configurator");
        ASSERT_NE(Main, 0u) << "the window did not show";
        std::this_thread::sleep_for(300ms); // let it finish its first paint
    }

    TXServer X;
    QTemporaryDir RuntimeDir;
    pid_t Pid = -1;
    Window Main = 0;
};

} // namespace

TEST_F(Program, CloseEndsItWithExitCodeZero)
{
    Start();
    X.Click(Main, Scaled(152 + 97 / 2.0), Scaled(496 + 25 / 2.0)); // "Close"
    EXPECT_EQ(WaitExit(Pid, 60s), std::optional<int>(0));
}

TEST_F(Program, TheCloseBoxEndsItWithExitCodeZero)
{
    Start();
    X.CloseBox(Main);
    EXPECT_EQ(WaitExit(Pid, 60s), std::optional<int>(0));
}

TEST_F(Program, TheCloseBoxWithThePortOpenClosesItWithoutPowerOff)
{
    TPty pty;
    // The simulator's way into the port list: a path that sorts after every /dev device.
    QTemporaryDir links(QStringLiteral("/tmp/zz-sentrax-XXXXXX"));
    const QString port = links.filePath(QStringLiteral("loconet"));
    ASSERT_TRUE(QFile::link(pty.SlavePath(), port));
    Start({"SENTRAX_EXTRA_PORTS=" + port.toStdString()});

    X.Click(Main, Scaled(48 + 16 + 75 / 2.0), Scaled(32 + 32 + 25 / 2.0)); // "Settings"
    ASSERT_NE(X.FindWindow("Setup"), 0u);
    std::this_thread::sleep_for(300ms);
    X.Key(XK_End);    // the port list has the focus: its last entry is ours
    X.Key(XK_Return); // OK is the default button
    const auto deadline = Clock::now() + 10s;
    while (pty.Settings().OutputRate != 19200 && Clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(pty.Settings().OutputRate, 19200u) << "the port did not open";

    X.CloseBox(Main);
    EXPECT_EQ(WaitExit(Pid, 60s), std::optional<int>(0));
    EXPECT_EQ(pty.ReadUntilQuiet(200ms), QByteArray()); // no power-off message
}
