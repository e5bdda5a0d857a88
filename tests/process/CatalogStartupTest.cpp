// The real program started with a broken catalog beside it: it starts, shows its window, then
// one error box for the catalog, and ends normally when closed.

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
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Last: Xlib's macros (None, Bool, Status...) would break the headers above.
#include <X11/Xlib.h>

#include "XWindows.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& env)
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

// The child's exit code once it has ended (killed: 128 + signal), or nothing after `timeout`.
std::optional<int> Ended(pid_t& pid, std::chrono::milliseconds timeout)
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

// The first viewable window whose title is exactly `title`; 0 when there is none.
Window FindTitled(Display* display, Window window, const char* title)
{
    char* name = nullptr;
    bool match = false;
    if (XFetchName(display, window, &name) && name) {
        match = std::strcmp(name, title) == 0;
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
            found = FindTitled(display, children[i], title);
        if (children)
            XFree(children);
    }
    return found;
}

// An X server of the test's own and the program on it, started from a folder of its own with a
// catalog that is no catalog beside it.
struct BrokenCatalogBesideTheProgram : ::testing::Test {
    QTemporaryDir Folder;
    pid_t Server = -1;
    Display* X = nullptr;
    std::string DisplayName;
    pid_t Program = -1;

    void SetUp() override
    {
        const QString program = Folder.filePath(QStringLiteral("Sentrax"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(SENTRAX_PROGRAM), program));
        const QString messages = Folder.filePath(QStringLiteral("locale/zz/LC_MESSAGES"));
        ASSERT_TRUE(QDir().mkpath(messages));
        QFile catalog(messages + QStringLiteral("/cport.mo"));
        ASSERT_TRUE(catalog.open(QIODevice::WriteOnly));
        catalog.write("This is no message catalog.");
        catalog.close();

        // Xvfb picks a free display itself and writes its number to the pipe.
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        Server = Start({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {});
        close(pipeFds[1]);
        std::string number;
        char c;
        pollfd ready{pipeFds[0], POLLIN, 0};
        while (poll(&ready, 1, 30000) == 1 && read(pipeFds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(pipeFds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        DisplayName = ":" + number;
        X = XOpenDisplay(DisplayName.c_str());
        ASSERT_NE(X, nullptr);
        // Windows come and go while the test looks at them: an error about one that has just
        // gone is no failure.
        previousHandler_ = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });

        Program = Start({program.toStdString()}, {"DISPLAY=" + DisplayName, "QT_QPA_PLATFORM=xcb", "LANG=zz", "LC_ALL=C"});
    }
    void TearDown() override
    {
        if (Program > 0) {
            kill(Program, SIGKILL);
            Ended(Program, 5s);
        }
        if (X) {
            XCloseDisplay(X);
            XSetErrorHandler(previousHandler_);
        }
        if (Server > 0) {
            kill(Server, SIGTERM);
            Ended(Server, 5s);
        }
    }

    XErrorHandler previousHandler_ = nullptr;

    // Waits for a viewable window, by part of its title or by its whole title.
    Window Await(const char* title, bool whole, std::chrono::milliseconds timeout = 60s)
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            const Window root = DefaultRootWindow(X);
            if (const Window w = whole ? FindTitled(X, root, title) : XWindows::FindViewable(X, root, title))
                return w;
            if (const auto code = Ended(Program, 0ms))
                ADD_FAILURE() << "the program ended with " << *code;
            if (Program < 0)
                return 0;
            std::this_thread::sleep_for(50ms);
        }
        return 0;
    }
    // Waits until the window is no longer viewable.
    bool Gone(Window window, std::chrono::milliseconds timeout = 30s)
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(X, window, &attributes) || attributes.map_state != IsViewable)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
};

} // namespace

TEST_F(BrokenCatalogBesideTheProgram, TheWindowComesUpThenOneBoxForTheCatalog)
{
    const Window main = Await("Sentrax Configurator", false);
    ASSERT_NE(main, 0u) << "no window";
    // The error box carries the program's title; its text names the file (checked in the
    // translation tests, where the text can be read).
    const Window box = Await("Sentrax", true);
    ASSERT_NE(box, 0u) << "no error box";
    XWindows::RequestClose(X, box);
    ASSERT_TRUE(Gone(box));
    // A second box would be modal over the window, which then could not close.
    XWindows::RequestClose(X, main);
    EXPECT_EQ(Ended(Program, 30s), std::optional(0));
}
