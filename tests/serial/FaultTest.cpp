// SPDX-License-Identifier: GPL-3.0-or-later
// The faults a serial tool meets in the field, each with the message a user sees and a port left
// closed and whole.

#include "CPort.h"
#include "EComPort.h"
#include "PosixComDevice.h"
#include "Pty.h"
#include "ScriptedComDevice.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

using namespace std::chrono_literals;

namespace {


// Runs `body` in a child process and returns its exit code.
int InChild(const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

} // namespace

TEST(PortFaults, APortHeldByAnotherProgramIsReportedAsBusy)
{
    TPty pty;
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const std::string path = pty.SlavePath().toStdString();
    const pid_t other = fork();
    if (other == 0) {
        // Another program that opened the port and locked it, as this one does.
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        char wait;
        (void)!read(release[0], &wait, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');

    TComPort port;
    port.SetEvents({});
    port.SetPort(pty.SlavePath());
    const EComPort e = Raised([&] { port.OpenPort(); });
    EXPECT_EQ(e.Message(), QStringLiteral("Unable to open com port (win error code: 16)"));
    EXPECT_FALSE(port.Connected());

    (void)!write(release[1], "x", 1);
    waitpid(other, nullptr, 0);
    port.OpenPort(); // the other program has gone
    EXPECT_TRUE(port.Connected());
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}

TEST(PortFaults, ADeviceWithoutPermissionIsReportedAsSuch)
{
    TPty pty;
    ASSERT_EQ(chmod(pty.SlavePath().toLocal8Bit().constData(), 0600), 0);
    const std::string path = pty.SlavePath().toStdString();
    // A user who is not in the device's group: the system user "nobody".
    const int code = InChild([&] {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            return 100;
        TPosixComDevice device;
        return device.Open(QString::fromStdString(path));
    });
    if (code == 100)
        GTEST_SKIP() << "cannot change to an unprivileged user here";
    EXPECT_EQ(code, EACCES);
    EXPECT_EQ(EComPort(erOpenFailed, code).Message(), QStringLiteral("Unable to open com port (win error code: 13)"));
}

TEST(PortFaults, ADeviceWhoseEveryCallFailsLeavesNothingHalfOpen)
{
    // A legacy serial device without a UART behind it opens, then every call fails with EIO.
    auto device = std::make_unique<TScriptedComDevice>();
    auto script = device->Script();
    script->SetupError = script->StateError = script->TimeoutsError = EIO;
    script->WriteError = script->ReadError = script->ClearError = script->ModemError = EIO;
    TComPort port(nullptr, std::move(device));
    port.SetEvents({evRxChar, evCTS});
    bool afterOpen = false;
    port.OnAfterOpen = [&](QObject*) { afterOpen = true; };
    const EComPort e = Raised([&] { port.OpenPort(); });
    EXPECT_EQ(e.Message(), QStringLiteral("SetupComm function failed (win error code: 5)"));
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(script->Open);
    EXPECT_FALSE(afterOpen);
    EXPECT_EQ(script->CallCount(QStringLiteral("SetCommMask")), 0); // no monitor was left running
}

TEST(PortFaults, OutputHeldByFlowControlIsDroppedNotSentLate)
{
    TPty pty;
    TComPort port;
    port.SetEvents({});
    port.SetPort(pty.SlavePath());
    port.FlowControl().SetFlowControl(fcSoftware);
    port.Timeouts().SetWriteTotalConstant(300);
    port.OpenPort();
    pty.HoldOutput(true);
    EXPECT_LT(port.WriteText("held back"), 9); // a short count, and no error
    pty.HoldOutput(false);
    EXPECT_EQ(pty.ReadUntilQuiet(300ms), QByteArray());
}
