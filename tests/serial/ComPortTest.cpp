// SPDX-License-Identifier: GPL-3.0-or-later
// The port's contract, on a scripted device: settings and how they reach the device, the order of
// notifications around open and close, transfers, links and failures.

#include "CPort.h"
#include "EComPort.h"
#include "ScriptedComDevice.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

// Records every notification and link call in order.
struct TLog {
    QStringList Entries;
    TComLink Link;

    void Watch(TComPort& port)
    {
        port.OnBeforeOpen = [this](QObject*) { Entries << "BeforeOpen"; };
        port.OnAfterOpen = [this](QObject*) { Entries << "AfterOpen"; };
        port.OnBeforeClose = [this](QObject*) { Entries << "BeforeClose"; };
        port.OnAfterClose = [this](QObject*) { Entries << "AfterClose"; };
        port.OnCTSChange = [this](QObject*, bool on) { Entries << QStringLiteral("CTS %1").arg(on); };
        port.OnDSRChange = [this](QObject*, bool on) { Entries << QStringLiteral("DSR %1").arg(on); };
        port.OnRLSDChange = [this](QObject*, bool on) { Entries << QStringLiteral("RLSD %1").arg(on); };
        Link.OnConn = [this](bool on) { Entries << QStringLiteral("link Conn %1").arg(on); };
        Link.OnCTSChange = [this](bool on) { Entries << QStringLiteral("link CTS %1").arg(on); };
        Link.OnDSRChange = [this](bool on) { Entries << QStringLiteral("link DSR %1").arg(on); };
        Link.OnRLSDChange = [this](bool on) { Entries << QStringLiteral("link RLSD %1").arg(on); };
        port.AttachLink(&Link);
    }
};

} // namespace

TEST(ComPortSettings, DefaultsOfANewPort)
{
    TComPort port;
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.Port(), QStringLiteral("COM1"));
    EXPECT_EQ(port.Events(), AllComEvents);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    EXPECT_EQ(port.Buffer().OutputSize(), 1024);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    const TCommTimeouts t = port.CurrentTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST(ComPortSettings, DeviceControlBlockOfTheConfiguratorsPort)
{
    TComPort port;
    StoreConfiguratorSettings(port);
    port.FlowControl().SetFlowControl(fcHardware);
    TDCB dcb = port.CurrentDCB();
    EXPECT_EQ(dcb.Flags, 0x2005u);
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonLim, 0);
    EXPECT_EQ(dcb.XoffLim, 0);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.EvtChar, 0);
    port.FlowControl().SetFlowControl(fcNone);
    EXPECT_EQ(port.CurrentDCB().Flags, 0x0001u);

    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(250000);
    port.Buffer().SetInputSize(4096);
    port.Parity().SetCheck(true);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar('?');
    dcb = port.CurrentDCB();
    EXPECT_EQ(dcb.BaudRate, 250000u);
    EXPECT_EQ(dcb.XonLim, 1024);
    EXPECT_EQ(dcb.Flags, 0x0001u | 0x0002u | 0x0400u);
    EXPECT_EQ(dcb.ErrorChar, '?');
}

TEST(ComPortSettings, BufferSizesAreStoredEven)
{
    TComPort port;
    port.Buffer().SetInputSize(1025);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    port.Buffer().SetInputSize(0);
    EXPECT_EQ(port.Buffer().InputSize(), 0);
    port.Buffer().SetOutputSize(7);
    EXPECT_EQ(port.Buffer().OutputSize(), 6);
    port.Buffer().SetOutputSize(-3);
    EXPECT_EQ(port.Buffer().OutputSize(), -3);
}

TEST(ComPortSettings, FlowControlPresetReadsOnlyFromItsFlags)
{
    auto p = MakeScriptedPort();
    TComFlowControl& fc = p.Port->FlowControl();
    StoreConfiguratorSettings(*p.Port);
    EXPECT_EQ(fc.FlowControl(), fcHardware);
    fc.SetOutDSRFlow(true); // not part of the preset
    EXPECT_EQ(fc.FlowControl(), fcHardware);
    fc.SetOutDSRFlow(false);
    fc.SetXonXoffIn(true);
    EXPECT_EQ(fc.FlowControl(), fcCustom);

    p.Port->OpenPort();
    const int applied = p.Script->CallCount(QStringLiteral("SetLineSettings"));
    fc.SetFlowControl(fcCustom); // keeps every flag, still re-applies
    EXPECT_EQ(p.Script->CallCount(QStringLiteral("SetLineSettings")), applied + 1);
    EXPECT_TRUE(fc.XonXoffIn());
    EXPECT_TRUE(fc.OutCTSFlow());
    EXPECT_EQ(fc.ControlRTS(), rtsHandshake);

    fc.SetFlowControl(fcSoftware);
    EXPECT_EQ(fc.FlowControl(), fcSoftware);
    EXPECT_FALSE(fc.OutCTSFlow());
    EXPECT_EQ(fc.ControlRTS(), rtsDisable);
    fc.SetControlDTR(dtrEnable);
    fc.SetFlowControl(fcNone);
    EXPECT_EQ(fc.FlowControl(), fcNone);
    EXPECT_EQ(fc.ControlDTR(), dtrEnable); // never touched by the preset
}

TEST(ComPortSettings, ChangesReachAnOpenDeviceAtOnceUnlessGroupedInAnUpdate)
{
    auto p = MakeScriptedPort();
    p.Port->OpenPort();
    const auto count = [&](const char* call) { return p.Script->CallCount(QString::fromLatin1(call)); };
    const int states = count("SetLineSettings");
    p.Port->SetBaudRate(br19200);
    EXPECT_EQ(count("SetLineSettings"), states + 1);
    EXPECT_EQ(p.Script->States.back().BaudRate, 19200u);
    p.Port->SetBaudRate(br19200); // unchanged: nothing
    EXPECT_EQ(count("SetLineSettings"), states + 1);
    p.Port->Timeouts().SetWriteTotalConstant(500);
    EXPECT_EQ(p.Script->Timeouts.back().WriteTotalTimeoutConstant, 500u);

    const int setups = count("SetupComm");
    const int timeouts = count("SetCommTimeouts");
    p.Port->BeginSettingsUpdate();
    p.Port->BeginSettingsUpdate();
    p.Port->SetBaudRate(br57600);
    p.Port->SetDataBits(dbSeven);
    p.Port->EndSettingsUpdate();
    EXPECT_EQ(count("SetLineSettings"), states + 1);
    p.Port->EndSettingsUpdate();
    EXPECT_EQ(count("SetLineSettings"), states + 2);
    EXPECT_EQ(count("SetupComm"), setups + 1);
    EXPECT_EQ(count("SetCommTimeouts"), timeouts + 1);
    EXPECT_EQ(p.Script->States.back().BaudRate, 57600u);
    EXPECT_EQ(p.Script->States.back().ByteSize, 7);
    p.Port->EndSettingsUpdate(); // below 1: nothing
    EXPECT_EQ(count("SetLineSettings"), states + 2);
}

TEST(ComPortSettings, ARefusedSettingIsReportedAndKeptAsStored)
{
    auto p = MakeScriptedPort();
    p.Port->OpenPort();
    p.Script->StateError = EINVAL;
    const EComPort e = Raised([&] { p.Port->SetStopBits(sbOne5StopBits); });
    EXPECT_EQ(e.Reason(), erSetState);
    EXPECT_EQ(e.SystemCode(), EINVAL);
    EXPECT_EQ(p.Port->StopBits(), sbOne5StopBits);
    EXPECT_TRUE(p.Port->Connected());
}

TEST(ComPortSettings, SyncMethodIsRefusedWhileOpen)
{
    auto p = MakeScriptedPort();
    p.Port->SetSyncMethod(smNone);
    EXPECT_EQ(p.Port->SyncMethod(), smNone);
    p.Port->OpenPort();
    const EComPort e = Raised([&] { p.Port->SetSyncMethod(smWindowSync); });
    EXPECT_EQ(e.Reason(), erConnectedProperty);
    EXPECT_EQ(e.SystemCode(), -1);
    EXPECT_EQ(e.Message(), QStringLiteral("Cannot set property while connected"));
    EXPECT_EQ(p.Port->SyncMethod(), smNone);
}

TEST(ComPortSettings, WhileLoadingSettersOnlyStoreAndLoadedOpensAStoredConnection)
{
    auto p = MakeScriptedPort();
    p.Port->BeginLoading();
    p.Port->SetConnected(true);
    p.Port->SetBaudRate(br19200);
    p.Port->SetPort(QStringLiteral("ttyUSB3"));
    EXPECT_TRUE(p.Script->Calls.isEmpty());
    p.Port->Loaded();
    EXPECT_TRUE(p.Port->Connected());
    EXPECT_EQ(p.Script->OpenedName, QStringLiteral("ttyUSB3"));
    EXPECT_EQ(p.Script->States.back().BaudRate, 19200u);
}

TEST(ComPortOpenClose, OpenAppliesAllSettingsThenTellsLinksAndHandlersInOrder)
{
    TLog log; // outlives the port, which calls its link while closing
    auto p = MakeScriptedPort();
    log.Watch(*p.Port);
    p.Script->Signals = TComSignals{csCTS, csRLSD};
    p.Port->OpenPort();
    EXPECT_EQ(p.Script->Calls.mid(0, 4),
              (QStringList{"Open", "SetupComm", "SetLineSettings", "SetCommTimeouts"}));
    EXPECT_EQ(log.Entries, (QStringList{"BeforeOpen", "link Conn 1", "AfterOpen", "link CTS 1", "CTS 1",
                                        "link DSR 0", "DSR 0", "link RLSD 1", "RLSD 1"}));
    const int opens = p.Script->CallCount(QStringLiteral("Open"));
    p.Port->OpenPort();
    EXPECT_EQ(p.Script->CallCount(QStringLiteral("Open")), opens);
}

TEST(ComPortOpenClose, CloseReportsTheLinesOffFirstAndTheConnectionOffOnlyAfterTheDeviceIsClosed)
{
    TLog log; // outlives the port, which calls its link while closing
    auto p = MakeScriptedPort();
    log.Watch(*p.Port);
    p.Port->OpenPort();
    log.Entries.clear();
    bool deviceOpenAtConnOff = true;
    log.Link.OnConn = [&](bool on) {
        log.Entries << QStringLiteral("link Conn %1").arg(on);
        deviceOpenAtConnOff = p.Device->IsOpen();
    };
    p.Port->ClosePort();
    EXPECT_EQ(log.Entries, (QStringList{"link CTS 0", "link DSR 0", "link RLSD 0", "CTS 0", "DSR 0", "RLSD 0",
                                        "BeforeClose", "link Conn 0", "AfterClose"}));
    EXPECT_FALSE(deviceOpenAtConnOff);
    EXPECT_FALSE(p.Port->Connected());
    log.Entries.clear();
    p.Port->ClosePort();
    EXPECT_TRUE(log.Entries.isEmpty());
}

TEST(ComPortOpenClose, AFailedOpenLeavesThePortClosedAndUntold)
{
    TLog log; // outlives the port, which calls its link while closing
    auto p = MakeScriptedPort();
    log.Watch(*p.Port);
    p.Script->OpenError = ENOENT;
    const EComPort e = Raised([&] { p.Port->OpenPort(); });
    EXPECT_EQ(e.Reason(), erOpenFailed);
    EXPECT_EQ(e.SystemCode(), ENOENT);
    EXPECT_EQ(e.Message(), QStringLiteral("Unable to open com port (win error code: 2)"));
    EXPECT_FALSE(p.Port->Connected());
    EXPECT_EQ(log.Entries, QStringList{"BeforeOpen"});
}

TEST(ComPortOpenClose, AFailureWhileApplyingSettingsClosesTheDeviceAgain)
{
    TLog log; // outlives the port, which calls its link while closing
    auto p = MakeScriptedPort(TComEvents{evRxChar});
    log.Watch(*p.Port);
    p.Script->TimeoutsError = EIO;
    const EComPort e = Raised([&] { p.Port->OpenPort(); });
    EXPECT_EQ(e.Reason(), erSetTimeouts);
    EXPECT_FALSE(p.Port->Connected());
    EXPECT_FALSE(p.Device->IsOpen());
    EXPECT_EQ(p.Script->CallCount(QStringLiteral("SetCommMask")), 0); // no monitor was started
    EXPECT_EQ(log.Entries, QStringList{"BeforeOpen"});
}

TEST(ComPortOpenClose, AFailedAbortEndsTheCloseWithThePortStillOpen)
{
    auto p = MakeScriptedPort();
    p.Port->OpenPort();
    p.Script->PurgeError = EPROTO;
    const EComPort e = Raised([&] { p.Port->ClosePort(); });
    EXPECT_EQ(e.Reason(), erPurgeFailed);
    EXPECT_TRUE(p.Port->Connected());
    EXPECT_TRUE(p.Device->IsOpen());
    // A device that is gone (every ioctl of a hung-up terminal fails) is closed all the same.
    p.Script->PurgeError = EIO;
    p.Port->ClosePort();
    EXPECT_FALSE(p.Port->Connected());
    EXPECT_FALSE(p.Device->IsOpen());
}

TEST(ComPortOpenClose, ChangingThePortNameWhileOpenReopensUnderTheNewName)
{
    TLog log; // outlives the port, which calls its link while closing
    auto p = MakeScriptedPort();
    log.Watch(*p.Port);
    p.Port->OpenPort();
    log.Entries.clear();
    p.Port->SetPort(QStringLiteral("/dev/ttyACM0"));
    EXPECT_TRUE(p.Port->Connected());
    EXPECT_EQ(p.Script->OpenedName, QStringLiteral("/dev/ttyACM0"));
    EXPECT_TRUE(log.Entries.contains(QStringLiteral("AfterClose")));
    EXPECT_EQ(log.Entries.last(), QStringLiteral("RLSD 0"));
}

TEST(ComPortOpenClose, DestructionClosesThePortAndTellsBoundControls)
{
    TLog log; // outlives the port, which calls its link while closing
    auto p = MakeScriptedPort();
    log.Watch(*p.Port);
    p.Port->OpenPort();
    bool told = false;
    QObject::connect(p.Port.get(), &TCustomComPort::Destroying, [&](TCustomComPort* port) {
        told = true;
        EXPECT_FALSE(port->Connected());
        port->DetachLink(&log.Link);
    });
    p.Port.reset();
    EXPECT_TRUE(told);
    EXPECT_FALSE(p.Script->Open);
    EXPECT_TRUE(log.Entries.contains(QStringLiteral("AfterClose")));
}

TEST(ComPortTransfers, EmptyWritesAndReadsNeverReachTheDevice)
{
    auto p = MakeScriptedPort();
    EXPECT_EQ(p.Port->WriteText(QByteArray()), 0);
    QByteArray text("stale");
    EXPECT_EQ(p.Port->ReadText(text, 0), 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(p.Port->ReadText(text, -4), 0);
    EXPECT_EQ(p.Script->CallCount(QStringLiteral("Write")), 0);
    EXPECT_EQ(p.Script->CallCount(QStringLiteral("Read")), 0);
}

TEST(ComPortTransfers, WritingOrReadingAClosedPortRaisesWithTheInvalidHandleCode)
{
    auto p = MakeScriptedPort();
    EComPort e = Raised([&] { p.Port->WriteText("x"); });
    EXPECT_EQ(e.Reason(), erWriteFailed);
    EXPECT_EQ(e.SystemCode(), EBADF);
    QByteArray text;
    e = Raised([&] { p.Port->ReadText(text, 1); });
    EXPECT_EQ(e.Reason(), erReadFailed);
}

TEST(ComPortTransfers, WriteTellsLinksAndTakesAShortCountAsSuccess)
{
    TComLink link; // outlives the port, which calls it while closing
    QStringList calls;
    auto p = MakeScriptedPort();
    link.OnTx = [&](bool on) { calls << QStringLiteral("Tx %1").arg(on); };
    link.OnTxBuf = [&](const char* buffer, int count) { calls << QString::fromLatin1(buffer, count); };
    p.Port->AttachLink(&link);
    p.Port->OpenPort();
    EXPECT_EQ(p.Port->WriteText("abc"), 3);
    p.Script->WriteShortBy = 3;
    EXPECT_EQ(p.Port->WriteText("def"), 0);
    EXPECT_EQ(calls, (QStringList{"Tx 1", "abc", "Tx 1", "def"}));
    p.Script->WriteError = EPROTO;
    const EComPort e = Raised([&] { p.Port->WriteText("g"); });
    EXPECT_EQ(e.Reason(), erWriteFailed);
    EXPECT_EQ(e.SystemCode(), EPROTO);
    EXPECT_TRUE(p.Port->Connected());
    // A device that is gone closes the port: nothing on it can succeed again.
    p.Script->WriteError = EIO;
    EXPECT_EQ(Raised([&] { p.Port->WriteText("h"); }).SystemCode(), EIO);
    EXPECT_FALSE(p.Port->Connected());
    EXPECT_FALSE(p.Script->Open);
}

TEST(ComPortTransfers, ReadReturnsWhatIsBufferedAndReportsReceiveActivityOff)
{
    TComLink link; // outlives the port, which calls it while closing
    QStringList calls;
    auto p = MakeScriptedPort();
    link.OnRx = [&](bool on) { calls << QStringLiteral("Rx %1").arg(on); };
    p.Port->AttachLink(&link);
    p.Port->OpenPort();
    p.Script->Input = "12345";
    QByteArray text;
    EXPECT_EQ(p.Port->ReadText(text, 3), 3);
    EXPECT_EQ(text, QByteArray("123"));
    EXPECT_TRUE(calls.isEmpty()); // two bytes still waiting
    EXPECT_EQ(p.Port->ReadText(text, 10), 2);
    EXPECT_EQ(text, QByteArray("45"));
    EXPECT_EQ(calls, QStringList{"Rx 0"});
}

TEST(ComPortStatus, ModemLinesErrorsAndTheirFailures)
{
    auto p = MakeScriptedPort();
    p.Port->OpenPort();
    p.Script->Signals = TComSignals{csDSR, csRing};
    EXPECT_EQ(p.Port->LineSignals().Bits(), 0b0110u);
    p.Script->Errors = TComErrors{ceFrame, ceRxParity, ceOverrun};
    EXPECT_EQ(p.Port->LineErrors(), (TComErrors{ceFrame, ceOverrun})); // parity only when checked
    p.Port->Parity().SetCheck(true);
    p.Script->Errors = TComErrors{ceRxParity};
    EXPECT_EQ(p.Port->LineErrors(), TComErrors{ceRxParity});
    EXPECT_TRUE(p.Port->LineErrors().Empty()); // cleared by the call

    p.Script->ModemError = EPROTO;
    EXPECT_EQ(Raised([&] { p.Port->LineSignals(); }).Reason(), erModemStatus);
    p.Script->ClearError = EPROTO;
    EXPECT_EQ(Raised([&] { p.Port->BytesWaiting(); }).Reason(), erClearCommError);
    EXPECT_EQ(Raised([&] { p.Port->LineErrors(); }).Reason(), erClearCommError);
}

TEST(ComPortLinks, AttachingTwiceOrDetachingAStrangerIsRefused)
{
    TComPort port;
    TComLink link;
    TComLink stranger;
    port.AttachLink(&link);
    EXPECT_EQ(Raised([&] { port.AttachLink(&link); }).Reason(), erLinkRegistration);
    EXPECT_EQ(Raised([&] { port.DetachLink(&stranger); }).Message(), QStringLiteral("Link (un)registration failed"));
    port.DetachLink(&link);
}

TEST(ComPortLinks, ALinkDetachedByAnEarlierLinkIsNotCalled)
{
    TComLink first; // links outlive the port, which calls them while closing
    TComLink second;
    auto p = MakeScriptedPort();
    int secondCalls = 0;
    first.OnConn = [&](bool on) {
        if (on)
            p.Port->DetachLink(&second);
    };
    second.OnConn = [&](bool) { ++secondCalls; };
    p.Port->AttachLink(&first);
    p.Port->AttachLink(&second);
    p.Port->OpenPort();
    EXPECT_EQ(secondCalls, 0);
}

TEST(ComPortErrors, EveryReasonHasItsTextAndTheSuffixCarriesTheCode)
{
    EXPECT_EQ(EComPort(erRegistry, 2).Message(), QStringLiteral("Registry error (win error code: 2)"));
    EXPECT_EQ(EComPort(erLedState).Message(), QStringLiteral("Cannot change led state if ComPort is selected"));
    for (int reason = 1; reason <= ComErrorReasonCount; ++reason)
        EXPECT_FALSE(ComErrorText(reason).isEmpty()) << reason;
    EXPECT_EQ(ComErrorText(11), QStringLiteral("GetCommModemStatus function failed"));
    EXPECT_EQ(ComErrorText(22), QStringLiteral("A component is linked to OnRxBuf event"));
}
