// SPDX-License-Identifier: GPL-3.0-or-later
// The real program, started as a user starts it, on an X server of its own (Xvfb), driven
// through X: pointer clicks and keys as a user makes them, and the close box's close request.
// The desktop tests run a window manager too, so that focus comes back from boxes and dialogs
// as it does on a user's desktop.

#include "ChildProcess.h"
#include "LocoNet.h"
#include "Pty.h"
#include "ScriptedServer.h"
#include "XDesktop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <thread>
#include <tuple>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A control of the window: its design position at 120 dpi, relative to the window's client area
// (the X server here has the usual 96 dpi, at which the window lays itself out).
struct TControl {
    double Left, Top, Width, Height;
    int X() const { return int((Left + Width / 2) * 96.0 / 120.0); }
    int Y() const { return int((Top + Height / 2) * 96.0 / 120.0); }
};
// Group boxes: GroupBox1 at (48, 32); GroupBox2 at (0, 88), GroupBox3 at (0, 272) and GroupBox4
// at (104, 16) inside it.
constexpr TControl kSettings{48 + 16, 32 + 32, 75, 25};
constexpr TControl kClose{152, 496, 97, 25};
constexpr TControl kPowerOn{152, 464, 99, 25};
constexpr TControl kFirstContact{48 + 104, 32 + 88 + 80, 121, 24};
constexpr TControl kFirstContactUp{48 + 225, 32 + 88 + 80, 21, 12};
constexpr TControl kCurrentMonitorOn{48 + 16, 32 + 88 + 120, 121, 25};
constexpr TControl kCurrentMonitorOff{48 + 160, 32 + 88 + 120, 121, 25};
constexpr TControl kCount{48 + 136, 32 + 272 + 73, 121, 24};
constexpr TControl kCountUp{48 + 257, 32 + 272 + 73, 21, 12};
constexpr TControl kRange{48 + 32, 32 + 272 + 72, 75, 25};
// Radio buttons take a click on their indicator, at their left end.
constexpr TControl kVersion10{48 + 104 + 8, 32 + 16 + 16, 16, 17};
constexpr TControl kVersion11{48 + 104 + 8, 32 + 16 + 32, 16, 17};

// The error box is titled with the application's title: the program file's name.
const std::string kBoxTitle = "Sentrax";

QByteArray Wire(std::initializer_list<LocoNet::TMessage> messages)
{
    QByteArray wire;
    for (const LocoNet::TMessage& m : messages)
        for (std::uint8_t b : LocoNet::WithChecksum(m))
            wire += char(b);
    return wire;
}

QByteArray StartMessages()
{
    QByteArray wire;
    for (const LocoNet::TMessage& m : LocoNet::VersionStartMessages)
        wire += Wire({m});
    return wire;
}

class Program : public testing::Test {
protected:
    explicit Program(TXDesktop::TWindowManager manager = TXDesktop::NoWindowManager)
        : X(manager)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(X.Ready()) << "no X server (or no window manager on it)";
        QDir().mkpath(RuntimeDir.path());
        // The pseudo-terminal's way into the port list: a path that sorts after every /dev device.
        ASSERT_TRUE(QFile::link(Pty.SlavePath(), PortPath));
    }

    // The program, in English whatever the developer's own settings, unless another language
    // is asked for.
    void Start(const std::string& program = SENTRAX_PROGRAM, const std::string& language = "C",
               const QString& extraPorts = {})
    {
        Sentrax = std::make_unique<TChildProcess>(
            std::vector<std::string>{program},
            TChildProcess::TOptions{{"DISPLAY=" + X.Name(), "QT_QPA_PLATFORM=xcb", "LC_ALL=" + language, "LANGUAGE=",
                                     "XDG_RUNTIME_DIR=" + RuntimeDir.path().toStdString(),
                                     "SENTRAX_EXTRA_PORTS=" + (extraPorts.isEmpty() ? PortPath : extraPorts).toStdString()}});
        Main = X.FindWindow("Sentrax Configurator");
        ASSERT_NE(Main, 0u) << "the window did not show";
    }

    void Click(const TControl& control) { X.Click(Main, control.X(), control.Y()); }
    // Replaces a field's text as a user does: click into it, select all, type. Keys go to the
    // window with the focus, so the user waits for the window to have it.
    void TypeInto(const TControl& field, const std::string& text)
    {
        ASSERT_TRUE(X.WaitFor([&] { return X.HasFocus(Main); }, 10s)) << "the window does not have the focus";
        Click(field);
        X.Key("a", true);
        if (text.empty())
            X.Key("Delete");
        else
            X.Type(text);
    }

    // "Settings", then in the dialog the last port of the list (ours) and OK, or Cancel.
    void Settings(bool ok = true)
    {
        Click(kSettings);
        const XWindow dialog = X.FindWindow("Setup", 10s);
        ASSERT_NE(dialog, 0u) << "no settings dialog";
        ASSERT_TRUE(X.WaitFor([&] { return X.HasFocus(dialog); }, 10s));
        X.Key(ok ? "End" : "Escape"); // the port list has the focus
        if (ok)
            X.Key("Return"); // OK is the default button
    }
    // Whether a program holds the port: an open port is exclusive.
    bool PortOpen() const
    {
        const int fd = open(Pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return errno == EBUSY;
        int exclusive = 0;
        ioctl(fd, TIOCGEXCL, &exclusive);
        close(fd);
        return exclusive != 0;
    }
    void OpenPort()
    {
        Settings();
        ASSERT_TRUE(X.WaitFor([&] { return PortOpen(); }, 10s)) << "the port did not open";
        EXPECT_EQ(Pty.Settings().OutputRate, 19200u);
    }

    QTemporaryDir RuntimeDir;
    TXDesktop X;
    TPty Pty;
    QTemporaryDir Links{QStringLiteral("/tmp/zz-sentrax-XXXXXX")};
    QString PortPath = Links.filePath(QStringLiteral("loconet"));
    std::unique_ptr<TChildProcess> Sentrax;
    XWindow Main = 0;
};

// The same, on a desktop with a window manager.
class Desktop : public Program {
protected:
    Desktop()
        : Program(TXDesktop::WithWindowManager)
    {
    }

    // The failure shows one error box, which has the focus; Return closes it, and it does not
    // come back.
    void ExpectOneErrorBox(const std::string& what)
    {
        SCOPED_TRACE(what);
        const XWindow box = X.FindExactWindow(kBoxTitle, 10s);
        ASSERT_NE(box, 0u) << "no error box";
        ASSERT_TRUE(X.WaitFor([&] { return X.HasFocus(box); }, 10s)) << "the box did not take the focus";
        EXPECT_EQ(X.CountExactWindows(kBoxTitle), 1);
        X.Key("Return");
        ASSERT_TRUE(X.WaitFor([&] { return X.CountExactWindows(kBoxTitle) == 0; }, 10s)) << "the box stayed";
        EXPECT_FALSE(X.WaitFor([&] { return X.CountExactWindows(kBoxTitle) != 0; }, 1500ms)) << "the box came back";
        ASSERT_TRUE(X.WaitFor([&] { return X.HasFocus(Main); }, 10s)) << "the focus did not come back";
    }
};

} // namespace

TEST(ProgramWithoutDisplay, AnswersHelpAndVersionAndSaysInOneLineThatItNeedsADisplay)
{
    QTemporaryDir dir;
    // Standard output into a file that is kept, or into the device given (never read back).
    const auto run = [&](const std::string& argument, std::string device = {}) {
        const std::string out = device.empty() ? dir.filePath(QStringLiteral("out")).toStdString() : device;
        const std::string err = dir.filePath(QStringLiteral("err")).toStdString();
        TChildProcess program({"sh", "-c", "exec \"$0\" $1 > '" + out + "' 2> '" + err + "'", SENTRAX_PROGRAM, argument},
                              {{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "LANG=C", "LC_ALL=C"}, false});
        const std::optional<int> exit = program.WaitExit(60s);
        QFile o(QString::fromStdString(out));
        QFile e(QString::fromStdString(err));
        if (device.empty())
            o.open(QIODevice::ReadOnly);
        e.open(QIODevice::ReadOnly);
        return std::tuple{exit, o.readAll(), e.readAll()};
    };
    const auto [versionExit, version, versionErr] = run("--version");
    EXPECT_EQ(versionExit, std::optional<int>(0));
    EXPECT_EQ(version, QByteArray("sentrax-configurator " SENTRAX_VERSION "\n"));
    const auto [helpExit, help, helpErr] = run("--help");
    EXPECT_EQ(helpExit, std::optional<int>(0));
    EXPECT_TRUE(help.startsWith("Usage: sentrax-configurator")) << help.toStdString();
    // Output that cannot be written is an error, as in every command-line program.
    const auto [fullExit, full, fullErr] = run("--version", "/dev/full");
    EXPECT_EQ(fullExit, std::optional<int>(1));
    EXPECT_EQ(fullErr, QByteArray("sentrax-configurator: cannot write the output: No space left on device (code 28)\n"));
    const auto [exit, out, err] = run("");
    EXPECT_EQ(exit, std::optional<int>(1)) << "not an abort";
    EXPECT_EQ(err, QByteArray("sentrax-configurator: cannot open its window: no display could be reached (it needs a "
                              "graphical desktop; sentrax-program programs a module from a terminal)\n"));
}

TEST_F(Program, CloseEndsItWithExitCodeZero)
{
    Start();
    Click(kClose);
    EXPECT_EQ(Sentrax->WaitExit(60s), std::optional<int>(0));
}

TEST_F(Program, TheCloseBoxWithThePortOpenClosesItWithoutPowerOff)
{
    Start();
    OpenPort();
    X.CloseBox(Main);
    EXPECT_EQ(Sentrax->WaitExit(60s), std::optional<int>(0));
    EXPECT_EQ(Pty.ReadUntilQuiet(200ms), QByteArray()); // no power-off message
}

TEST_F(Desktop, ASignalEndsItInOrderWithTheMessageInFlightCompleteAndThePortFree)
{
    // Another program holds the terminal too, as the simulator or a daemon does: a lock left on
    // it would keep every later program out.
    const int holder = open(Pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    const QByteArray start = StartMessages();
    // Each signal lands at another byte of the start messages, inside a message.
    for (const auto& [signal, atByte] : {std::pair{SIGTERM, 5}, std::pair{SIGHUP, 8}, std::pair{SIGINT, 13}}) {
        SCOPED_TRACE(strsignal(signal));
        Start();
        OpenPort();
        Click(kVersion11);
        QByteArray sent = Pty.Read(atByte, 10s);
        ASSERT_EQ(sent.size(), atByte);
        Sentrax->Signal(signal);
        std::this_thread::sleep_for(20ms);
        Sentrax->Signal(signal); // impatient: a second one changes nothing
        EXPECT_EQ(Sentrax->WaitExit(60s), std::optional<int>(128 + signal));
        sent += Pty.ReadUntilQuiet(200ms);
        // Whole messages only (no power-off message among them): the sent bytes end where one of
        // the start messages ends, and the rest of them did not follow.
        EXPECT_EQ(sent, start.left(sent.size()));
        EXPECT_LT(sent.size(), start.size());
        std::size_t end = 0;
        bool atBoundary = false;
        for (const LocoNet::TMessage& m : LocoNet::VersionStartMessages)
            atBoundary |= (end += m.size() + 1) == std::size_t(sent.size());
        EXPECT_TRUE(atBoundary) << sent.size() << " bytes";
        int exclusive = 1;
        ASSERT_EQ(ioctl(holder, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << "the terminal was left exclusive";
        const int next = open(Pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        EXPECT_EQ(flock(next, LOCK_EX | LOCK_NB), 0) << "the port was left locked";
        close(next);
    }
    close(holder);

    // Asked to stop while the settings dialog is open, with a port chosen before (another
    // program held it then): the program ends without opening anything.
    Start();
    const int other = open(Pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    Settings();
    ExpectOneErrorBox("Settings with a port another program holds");
    close(other);
    Click(kSettings);
    ASSERT_NE(X.FindWindow("Setup", 10s), 0u) << "no settings dialog";
    const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(opens, Pty.SlavePath().toLocal8Bit().constData(), IN_OPEN), 0);
    Sentrax->Signal(SIGTERM);
    EXPECT_EQ(Sentrax->WaitExit(60s), std::optional<int>(128 + SIGTERM));
    char event[sizeof(inotify_event) + NAME_MAX + 1];
    EXPECT_LT(read(opens, event, sizeof event), 0) << "the port was opened on the way out";
    close(opens);

    // Asked to stop while a network server keeps the open waiting (one that takes the
    // connection and never answers the COM port option): that wait ends at once, no box.
    TScriptedServer silent([](TScriptedServer& s) {
        while (!s.Done())
            std::this_thread::sleep_for(10ms);
    });
    Start(SENTRAX_PROGRAM, "C", silent.Name("rfc2217")); // after every /dev name in the list
    Settings();
    std::this_thread::sleep_for(500ms);
    const auto asked = std::chrono::steady_clock::now();
    Sentrax->Signal(SIGTERM);
    EXPECT_EQ(Sentrax->WaitExit(60s), std::optional<int>(128 + SIGTERM));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s) << "the server's wait (3 s) was not cut short";
}

TEST_F(Desktop, EveryErrorOfTheWorkflowShowsOneBoxAndTheWindowGoesOn)
{
    Start();
    // Each failure in turn, and what the window does right after it: the step it stopped in
    // goes on.
    Settings(false); // Cancel still opens the stored port, COM1, which does not exist here
    ExpectOneErrorBox("Settings with a port that does not exist");

    const int other = open(Pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    Settings();
    ExpectOneErrorBox("Settings with a port another program holds");
    close(other);
    OpenPort();

    Click(kVersion11);
    EXPECT_EQ(Pty.Read(26, 10s), StartMessages());
    TypeInto(kFirstContact, "x");
    ExpectOneErrorBox("a first contact that is no number");
    Click(kCurrentMonitorOn);
    ExpectOneErrorBox("Current Monitor On with that first contact");
    Click(kCurrentMonitorOff);
    ExpectOneErrorBox("Current Monitor Off with that first contact");
    TypeInto(kFirstContact, "17");
    Click(kCurrentMonitorOn);
    EXPECT_EQ(Pty.Read(8, 10s), Wire({{0xB0, 0x10, 0x30}, {0xB0, 0x10, 0x20}}));

    TypeInto(kCount, "");
    ExpectOneErrorBox("an emptied count");
    Click(kRange);
    ExpectOneErrorBox("Range with the count empty");
    Settings(); // the port stays open; the window, active again, converts the empty count
    ExpectOneErrorBox("the window activated with the count empty");
    Click(kVersion10); // the version box is offered again; the count box stays open
    EXPECT_EQ(Pty.Read(26, 10s), StartMessages());
    Click(kFirstContactUp);
    ExpectOneErrorBox("the first-contact arrow with the count empty");
    TypeInto(kFirstContact, "y");
    ExpectOneErrorBox("another first contact that is no number");
    Click(kCountUp); // the count becomes 16; the range text converts the first contact
    ExpectOneErrorBox("the count arrow with that first contact");

    // Corrected, the values go out.
    TypeInto(kFirstContact, "17");
    Click(kCurrentMonitorOff);
    EXPECT_EQ(Pty.Read(8, 10s), Wire({{0xB0, 0x10, 0x10}, {0xB0, 0x10, 0x00}}));
    TypeInto(kCount, "16");
    Click(kRange);
    EXPECT_EQ(Pty.Read(8, 10s), Wire({{0xB0, 0x0F, 0x10}, {0xB0, 0x0F, 0x00}}));
    Click(kClose);
    EXPECT_EQ(Pty.Read(2, 10s), Wire({{0x82}}));
    EXPECT_EQ(Sentrax->WaitExit(60s), std::optional<int>(0));
}

TEST_F(Desktop, OnlyClosingTheSettingsDialogActivatesTheWindowAnew)
{
    Start();
    OpenPort();
    Click(kVersion10);
    EXPECT_EQ(Pty.Read(26, 10s), StartMessages());
    TypeInto(kFirstContact, "5000");

    // Over to another program and back: the window keeps what was typed, so the first contact
    // that goes out is 5000, which no switch request can carry.
    TChildProcess other({"xmessage", "another program"}, {{"DISPLAY=" + X.Name()}, false});
    const XWindow otherWindow = X.FindWindow("xmessage", 10s);
    ASSERT_NE(otherWindow, 0u);
    ASSERT_TRUE(X.Activate(otherWindow));
    ASSERT_TRUE(X.Activate(Main));
    Click(kCurrentMonitorOff); // "Start with Count On"
    ExpectOneErrorBox("5000 cannot be sent");

    // Closing the settings dialog activates the window: its first contact follows the spinner,
    // held at its end, again.
    Settings();
    ASSERT_TRUE(X.WaitFor([&] { return X.HasFocus(Main); }, 10s));
    Click(kCurrentMonitorOff);
    EXPECT_EQ(Pty.Read(8, 10s), Wire({{0xB0, 0x78, 0x1F}, {0xB0, 0x78, 0x0F}})); // 2041, thrown
    EXPECT_EQ(X.CountExactWindows(kBoxTitle), 0);
}

TEST_F(Desktop, ABrokenCatalogIsReportedOnceAfterTheWindowShows)
{
    // A copy of the program with a catalog for its language beside it that is no catalog.
    QTemporaryDir folder;
    const QString program = folder.filePath(QStringLiteral("Sentrax"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(SENTRAX_PROGRAM), program));
    const QString messages = folder.filePath(QStringLiteral("locale/zz/LC_MESSAGES"));
    ASSERT_TRUE(QDir().mkpath(messages));
    QFile catalog(messages + QStringLiteral("/cport.mo"));
    ASSERT_TRUE(catalog.open(QIODevice::WriteOnly));
    catalog.write("This is no message catalog.");
    catalog.close();

    Start(program.toStdString(), "zz");
    ExpectOneErrorBox("the catalog that could not be used");
    OpenPort(); // the settings dialog, untranslated, works
    Click(kClose);
    EXPECT_EQ(Pty.Read(2, 10s), Wire({{0x82}}));
    EXPECT_EQ(Sentrax->WaitExit(60s), std::optional<int>(0));
}
