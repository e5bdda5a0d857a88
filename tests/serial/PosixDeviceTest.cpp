// SPDX-License-Identifier: GPL-3.0-or-later
// The port on real kernel ttys (pseudo-terminals): opening, exclusive use, settings as the kernel
// holds them, reads, and the write that gives up when flow control holds the line.

#include "CPort.h"
#include "EComPort.h"
#include "PosixComDevice.h"
#include "PosixLineSettings.h"
#include "Pty.h"

#include <QDir>
#include <QTemporaryDir>

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {


std::unique_ptr<TComPort> PortOn(const QString& name)
{
    auto port = std::make_unique<TComPort>();
    port->SetEvents({});
    port->SetPort(name);
    return port;
}

} // namespace

TEST(PosixPortOpen, MissingDevicesFailWithNoSuchFile)
{
    for (const QString& name : {QStringLiteral("COM1"), QStringLiteral("/dev/sentrax-no-such-port")}) {
        auto port = PortOn(name);
        bool afterOpen = false;
        port->OnAfterOpen = [&](QObject*) { afterOpen = true; };
        const EComPort e = Raised([&] { port->OpenPort(); });
        EXPECT_EQ(e.Reason(), erOpenFailed);
        EXPECT_EQ(e.SystemCode(), ENOENT);
        EXPECT_EQ(e.Message(), QStringLiteral("Unable to open com port (win error code: 2)"));
        EXPECT_FALSE(port->Connected());
        EXPECT_FALSE(afterOpen);
    }
    EXPECT_EQ(Raised([] { PortOn(QString())->OpenPort(); }).SystemCode(), ENOENT);
}

TEST(PosixPortOpen, ADirectoryOrAFileThatIsNoTerminalIsRefused)
{
    EXPECT_EQ(Raised([] { PortOn(QStringLiteral("/tmp"))->OpenPort(); }).SystemCode(), EISDIR);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(Raised([&] { PortOn(file.fileName())->OpenPort(); }).SystemCode(), ENOTTY);
}

TEST(PosixPortOpen, ABareNameIsADeviceUnderDevAndAPathIsTheShellsPath)
{
    // "null" is /dev/null, which is found (and is no terminal).
    EXPECT_EQ(Raised([] { PortOn(QStringLiteral("null"))->OpenPort(); }).SystemCode(), ENOTTY);
    // A name with a slash is relative to the working directory, as a shell takes it.
    TPty pty;
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("pt")));
    ASSERT_TRUE(QFile::link(pty.SlavePath(), dir.filePath(QStringLiteral("pt/loconet"))));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const struct TBack {
        QString Path;
        ~TBack() { QDir::setCurrent(Path); }
    } back{previous};
    EXPECT_EQ(Raised([&] { PortOn(pty.SlavePath().mid(5))->OpenPort(); }).SystemCode(), ENOENT); // "pts/N" here
    auto port = PortOn(QStringLiteral("pt/loconet"));
    port->OpenPort();
    EXPECT_TRUE(port->Connected());
    port->WriteText("Z");
    EXPECT_EQ(pty.Read(1, 2s), QByteArray("Z"));
}

TEST(PosixPortOpen, APortInUseByAnotherOwnerIsBusy)
{
    TPty pty;
    auto first = PortOn(pty.SlavePath());
    first->OpenPort();
    auto second = PortOn(pty.SlavePath());
    const EComPort e = Raised([&] { second->OpenPort(); });
    EXPECT_EQ(e.Reason(), erOpenFailed);
    EXPECT_EQ(e.SystemCode(), EBUSY);
    EXPECT_FALSE(second->Connected());
    first->ClosePort();
    second->OpenPort(); // free again once closed
    EXPECT_TRUE(second->Connected());
}

TEST(PosixPortSettings, TheKernelHoldsTheRateAndFlowControlAsConfigured)
{
    TPty pty;
    auto port = PortOn(pty.SlavePath());
    port->SetBaudRate(br19200);
    port->FlowControl().SetFlowControl(fcHardware);
    port->OpenPort();
    TPty::TSettings s = pty.Settings();
    EXPECT_TRUE(s.Raw);
    EXPECT_EQ(s.OutputRate, 19200u);
    EXPECT_TRUE(s.HardwareFlow);
    EXPECT_FALSE(s.XonXoffOut);

    port->SetBaudRate(br14400); // not in the C library's table of rates
    EXPECT_EQ(pty.Settings().OutputRate, 14400u);
    port->SetBaudRate(brCustom);
    port->SetCustomBaudRate(250000);
    EXPECT_EQ(pty.Settings().OutputRate, 250000u);

    port->FlowControl().SetXonChar('A');
    port->FlowControl().SetXoffChar('B');
    port->FlowControl().SetFlowControl(fcSoftware);
    s = pty.Settings();
    EXPECT_FALSE(s.HardwareFlow);
    EXPECT_TRUE(s.XonXoffOut);
    EXPECT_TRUE(s.XonXoffIn);
    EXPECT_EQ(s.XonChar, 'A');
    EXPECT_EQ(s.XoffChar, 'B');
}

TEST(PosixPortSettings, WhatLinuxCannotExpressIsRefusedNotReplaced)
{
    // The rules alone, without a terminal.
    const TLineSettings plain;
    TPosixLine line;
    ASSERT_EQ(PosixLineFor(plain, line), 0);
    EXPECT_EQ(line.Termios.BaudRate, 9600u);
    EXPECT_TRUE(line.DriveRts);
    EXPECT_FALSE(line.Rts || line.Dtr);
    const auto with = [&](auto change) {
        TLineSettings s = plain;
        change(s);
        TPosixLine l;
        const int error = PosixLineFor(s, l);
        return std::pair{error, l};
    };
    struct TCase {
        const char* What;
        std::function<void(TLineSettings&)> Change;
    };
    const TCase refused[] = {
        {"output flow on DSR", [](TLineSettings& s) { s.OutDSRFlow = true; }},
        {"DSR sensitivity", [](TLineSettings& s) { s.DSRSensitivity = true; }},
        {"DTR handshake", [](TLineSettings& s) { s.DTRControl = dtrHandshake; }},
        {"RTS toggling", [](TLineSettings& s) { s.RTSControl = rtsToggle; }},
        {"CTS flow without RTS handshake", [](TLineSettings& s) { s.OutCTSFlow = true; }},
        {"RTS handshake without CTS flow", [](TLineSettings& s) { s.RTSControl = rtsHandshake; }},
        {"bytes with a parity error replaced", [](TLineSettings& s) { s.ParityCheck = s.ParityReplace = true; }},
        {"one and a half stop bits with eight data bits", [](TLineSettings& s) { s.StopBits = sbOne5StopBits; }},
        {"two stop bits with five data bits", [](TLineSettings& s) { s.StopBits = sbTwoStopBits; s.DataBits = 5; }},
        {"four data bits", [](TLineSettings& s) { s.DataBits = 4; }},
        {"a rate of 0", [](TLineSettings& s) { s.BaudRate = 0; }},
    };
    for (const TCase& c : refused)
        EXPECT_EQ(with(c.Change).first, EINVAL) << c.What;

    const auto [hardware, hardwareLine] = with([](TLineSettings& s) { s.OutCTSFlow = true; s.RTSControl = rtsHandshake; });
    EXPECT_EQ(hardware, 0);
    EXPECT_TRUE(hardwareLine.Termios.HardwareFlow);
    EXPECT_FALSE(hardwareLine.DriveRts); // the handshake drives RTS
    const auto [fiveAndAHalf, fiveLine] = with([](TLineSettings& s) { s.DataBits = 5; s.StopBits = sbOne5StopBits; });
    EXPECT_EQ(fiveAndAHalf, 0);
    EXPECT_TRUE(fiveLine.Termios.StopBit2); // CSTOPB with five data bits is one and a half
    const auto [emulated, emulatedLine] = with([](TLineSettings& s) {
        s.DiscardNull = true;
        s.EventChar = '!';
        s.ParityCheck = true;
        s.Parity = prMark;
        s.DTRControl = dtrEnable;
        s.RTSControl = rtsEnable;
        s.TxContinueOnXoff = true; // what Linux does anyway
    });
    EXPECT_EQ(emulated, 0);
    EXPECT_TRUE(emulatedLine.DiscardNull);
    EXPECT_EQ(emulatedLine.EventChar, '!');
    EXPECT_TRUE(emulatedLine.Termios.ParityCheck);
    EXPECT_EQ(emulatedLine.Termios.Parity, 3);
    EXPECT_TRUE(emulatedLine.Rts && emulatedLine.Dtr);

    // On a terminal, the setting that cannot be applied fails the apply that carries it.
    TPty pty;
    auto port = PortOn(pty.SlavePath());
    port->OpenPort();
    EComPort e = Raised([&] { port->SetStopBits(sbOne5StopBits); });
    EXPECT_EQ(e.Reason(), erSetState);
    EXPECT_EQ(e.SystemCode(), EINVAL);
    port->SetDataBits(dbFive); // now the stored 1.5 stop bits can be applied
    EXPECT_TRUE(port->Connected());
}

TEST(PosixPortTransfers, AReadReturnsAtOnceWithWhatIsBuffered)
{
    TPty pty;
    auto port = PortOn(pty.SlavePath());
    port->OpenPort();
    pty.Write("abc");
    const auto deadline = Clock::now() + 2s;
    while (port->BytesWaiting() < 3 && Clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    QByteArray text;
    const auto start = Clock::now();
    EXPECT_EQ(port->ReadText(text, 10), 3);
    EXPECT_LT(Clock::now() - start, 2s); // does not wait for the other seven
    EXPECT_EQ(text, QByteArray("abc"));
    EXPECT_EQ(port->ReadText(text, 10), 0);
}

TEST(PosixPortTransfers, ByteValuesPassUnchangedBothWays)
{
    TPty pty;
    auto port = PortOn(pty.SlavePath());
    port->OpenPort();
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(port->WriteText(all), 256);
    EXPECT_EQ(pty.Read(256, 2s), all);
    pty.Write(all);
    QByteArray received;
    const auto deadline = Clock::now() + 2s;
    while (received.size() < 256 && Clock::now() < deadline) {
        QByteArray part;
        port->ReadText(part, 256);
        received += part;
    }
    EXPECT_EQ(received, all);
}

TEST(PosixPortTransfers, AWriteHeldByFlowControlGivesUpAtItsTimeoutAndNothingLeaksOutLater)
{
    TPty pty;
    auto port = PortOn(pty.SlavePath());
    port->FlowControl().SetFlowControl(fcSoftware);
    port->OpenPort();
    pty.HoldOutput(true); // as an XOFF received does: the line is held
    const auto start = Clock::now();
    const int written = port->WriteText("A");
    const auto took = Clock::now() - start;
    EXPECT_LT(written, 1);
    EXPECT_GE(took, 1100ms); // 100 ms per byte + 1000 ms
    EXPECT_LT(took, 10s);
    pty.HoldOutput(false); // as XON does
    EXPECT_EQ(pty.ReadUntilQuiet(300ms), QByteArray());
    EXPECT_EQ(port->WriteText("B"), 1);
    EXPECT_EQ(pty.Read(1, 2s), QByteArray("B"));
}

TEST(PosixPortTransfers, WhatWasWrittenBeforeTheCloseArrivesAndWritingAfterItFails)
{
    // The window's last message (power off) is written right before the port closes. A close
    // must not drop it on its way: on a pseudo-terminal, bytes written a moment ago can still be
    // on their way to the other side.
    TPty pty;
    auto port = PortOn(pty.SlavePath());
    for (int i = 0; i < 200; ++i) {
        port->OpenPort();
        port->WriteText(QByteArray("\x82\x7D"));
        port->ClosePort();
        ASSERT_EQ(pty.Read(2, 2s), QByteArray("\x82\x7D")) << "close " << i;
    }
    const EComPort e = Raised([&] { port->WriteText("x"); });
    EXPECT_EQ(e.Reason(), erWriteFailed);
    EXPECT_EQ(e.SystemCode(), EBADF);
}

TEST(PosixPortStatus, ATerminalWithoutModemLinesHasNoActiveLines)
{
    TPty pty;
    auto port = PortOn(pty.SlavePath());
    port->OpenPort();
    EXPECT_TRUE(port->LineSignals().Empty());
    EXPECT_TRUE(port->LineErrors().Empty());
    EXPECT_EQ(port->BytesWaiting(), 0);
}
