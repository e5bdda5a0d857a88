// SPDX-License-Identifier: GPL-3.0-or-later
// The port's event monitor: device events reach the main thread as notifications, in the fixed
// order of handling, and the monitor stops at once, never spins, and never deadlocks a close.

#include "CPort.h"
#include "CpuTime.h"
#include "EComPort.h"
#include "Exception.h"
#include "Pty.h"
#include "ScriptedComDevice.h"
#include "TestHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>


#include <atomic>
#include <functional>
#include <cerrno>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

void ProcessFor(std::chrono::milliseconds time)
{
    ProcessEventsUntil([] { return false; }, time);
}

// Errors that reach the application's display, recorded.
struct TShownErrors {
    QStringList Messages;
    TExceptionHandler Previous;
    TShownErrors()
    {
        Previous = SetExceptionHandler([this](std::exception_ptr e) { Messages << ExceptionMessage(e); });
    }
    ~TShownErrors() { SetExceptionHandler(Previous); }
};

struct TLoggedPort {
    TComLink Link; // outlives the port, which calls it while closing
    QStringList Log;
    std::unique_ptr<TComPort> Port;
    TScriptedComDevice* Device = nullptr;
    std::shared_ptr<TDeviceScript> Script;

    explicit TLoggedPort(TComEvents events, TSyncMethod sync = smThreadSync)
    {
        TScriptedPort scripted = MakeScriptedPort(events);
        Port = std::move(scripted.Port);
        Script = scripted.Script;
        Device = scripted.Device;
        Port->SetSyncMethod(sync);
        Port->OnRxChar = [this](QObject*, int count) {
            Log << QStringLiteral("RxChar %1").arg(count);
            QByteArray text;
            Port->ReadText(text, count);
        };
        Port->OnCTSChange = [this](QObject*, bool on) { Log << QStringLiteral("CTS %1").arg(on); };
        Port->OnDSRChange = [this](QObject*, bool on) { Log << QStringLiteral("DSR %1").arg(on); };
        Port->OnRLSDChange = [this](QObject*, bool on) { Log << QStringLiteral("RLSD %1").arg(on); };
        Port->OnRing = [this](QObject*) { Log << QStringLiteral("Ring"); };
        Port->OnError = [this](QObject*, TComErrors e) { Log << QStringLiteral("Error %1").arg(e.Bits()); };
        Port->OnBreak = [this](QObject*) { Log << QStringLiteral("Break"); };
        Port->OnTxEmpty = [this](QObject*) { Log << QStringLiteral("TxEmpty"); };
        Port->OnRxFlag = [this](QObject*) { Log << QStringLiteral("RxFlag"); };
        Port->OnRx80Full = [this](QObject*) { Log << QStringLiteral("Rx80Full"); };
        Link.OnDSRChange = [this](bool on) { Log << QStringLiteral("link DSR %1").arg(on); };
        Link.OnRx = [this](bool on) { Log << QStringLiteral("link Rx %1").arg(on); };
        Port->AttachLink(&Link);
    }
    void Raise(std::uint32_t events)
    {
        Device->Raise(events);
    }
};

struct TPtyPort {
    TPty Pty;
    QList<int> Counts; // OnRxChar counts
    std::unique_ptr<TComPort> Port = std::make_unique<TComPort>();

    explicit TPtyPort(TComEvents events = {evRxChar, evCTS, evDSR})
    {
        Port->SetEvents(events);
        Port->SetPort(Pty.SlavePath());
        Port->OnRxChar = [this](QObject*, int count) {
            Counts << count;
            QByteArray text;
            Port->ReadText(text, count);
        };
    }
};


} // namespace

TEST(ComMonitor, EventsMapToTheDeviceMaskAndAnEmptySetStartsNoMonitor)
{
    TLoggedPort none({});
    none.Port->OpenPort();
    EXPECT_EQ(none.Script->CallCount(QStringLiteral("SetCommMask")), 0);

    TLoggedPort some({evRxChar, evCTS, evDSR});
    some.Port->OpenPort();
    ASSERT_EQ(some.Script->Masks.size(), 1u);
    EXPECT_EQ(some.Script->Masks[0], 0x0019u);
    // A changed set takes effect at the next open only.
    some.Port->SetEvents({evRing});
    EXPECT_EQ(some.Script->Masks.size(), 1u);
    some.Port->ClosePort();
    EXPECT_EQ(some.Script->Masks.back(), 0u); // the monitor cleared the mask as it ended
    some.Port->OpenPort();
    EXPECT_EQ(some.Script->Masks.back(), 0x0100u);
}

TEST(ComMonitor, AStopWakesTheMonitorAtOnce)
{
    TLoggedPort p({evRxChar});
    p.Port->OpenPort();
    ProcessFor(50ms);
    const auto start = Clock::now();
    p.Port->ClosePort();
    EXPECT_LT(Clock::now() - start, 2s); // no time-out to wait for
}

TEST(ComMonitor, ABatchRunsItsStepsInTheFixedOrder)
{
    TLoggedPort p(AllComEvents);
    p.Port->OpenPort();
    p.Log.clear();
    p.Script->Input = "ab";
    p.Script->Signals = TComSignals{csCTS, csDSR};
    p.Script->Errors = TComErrors{ceFrame};
    p.Raise(0x0001 | 0x0008 | 0x0010 | 0x0080 | 0x0100 | 0x0040 | 0x0002 | 0x0004 | 0x0020 | 0x0400);
    ASSERT_TRUE(ProcessEventsUntil([&] { return p.Log.contains(QStringLiteral("Rx80Full")); }));
    EXPECT_EQ(p.Log, (QStringList{"Error 1", "link Rx 1", "RxChar 2", "link Rx 0", "TxEmpty", "Break", "Ring", "CTS 1",
                                  "link DSR 1", "DSR 1", "RxFlag", "RLSD 0", "Rx80Full"}));
}

TEST(ComMonitor, ADsrChangeReachesTheLinksThoughOnlyReceiveIsHandled)
{
    TLoggedPort p({evRxChar, evCTS, evDSR});
    p.Port->OnDSRChange = nullptr;
    p.Port->OpenPort();
    p.Log.clear();
    p.Script->Signals = TComSignals{csDSR};
    p.Raise(0x0010);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !p.Log.isEmpty(); }));
    ProcessFor(50ms);
    EXPECT_EQ(p.Log, QStringList{"link DSR 1"});
}

TEST(ComMonitor, WithoutWaitingBytesThereIsNoReceiveNotification)
{
    TLoggedPort p({evRxChar, evCTS});
    p.Port->OpenPort();
    p.Log.clear();
    p.Raise(0x0001 | 0x0008); // the bytes are gone by the time the step runs
    ASSERT_TRUE(ProcessEventsUntil([&] { return !p.Log.isEmpty(); }));
    EXPECT_EQ(p.Log, QStringList{"CTS 0"});
}

TEST(ComMonitor, BytesThatArriveWhileTheMainThreadIsBusyComeAsOneBatch)
{
    TPtyPort p;
    p.Port->OpenPort();
    ProcessFor(50ms);
    // The main thread is busy and processes nothing while three chunks arrive.
    std::thread writer([&] {
        for (const char* chunk : {"abc", "defg", "hi"}) {
            p.Pty.Write(chunk);
            std::this_thread::sleep_for(30ms);
        }
    });
    writer.join();
    // Still busy until all nine have arrived (a terminal hands written bytes on a moment later).
    const auto deadline = Clock::now() + 10s;
    while (p.Port->BytesWaiting() < 9 && Clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !p.Counts.isEmpty(); }));
    ProcessFor(100ms);
    EXPECT_EQ(p.Counts, QList<int>{9});
}

TEST(ComMonitor, AHandlerThatLeavesBytesUnreadHearsAgainOnlyAfterTheNextByte)
{
    TPtyPort p;
    p.Port->OnRxChar = [&](QObject*, int count) {
        p.Counts << count;
        QByteArray one;
        p.Port->ReadText(one, 1);
    };
    p.Port->OpenPort();
    p.Pty.Write("xyz");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !p.Counts.isEmpty(); }));
    ProcessFor(200ms);
    EXPECT_EQ(p.Counts, QList<int>{3});
    p.Pty.Write("!");
    ASSERT_TRUE(ProcessEventsUntil([&] { return p.Counts.size() == 2; }));
    EXPECT_EQ(p.Counts[1], 3); // two left over and the new one
}

TEST(ComMonitor, AnExceptionFromTheHandlerEndsNotificationsQuietlyUntilTheNextOpen)
{
    TShownErrors shown;
    TPtyPort p;
    p.Port->OnRxChar = [&](QObject*, int count) {
        p.Counts << count;
        QByteArray text;
        p.Port->ReadText(text, count);
        throw Exception(QStringLiteral("handler failed"));
    };
    p.Port->OpenPort();
    p.Pty.Write("a");
    ASSERT_TRUE(ProcessEventsUntil([&] { return p.Counts.size() == 1; }));
    p.Pty.Write("b");
    ProcessFor(300ms);
    EXPECT_EQ(p.Counts.size(), 1);
    EXPECT_TRUE(shown.Messages.isEmpty());
    p.Port->ClosePort(); // closing still works
    EXPECT_FALSE(p.Port->Connected());
    p.Port->OpenPort();
    p.Pty.Write("c");
    EXPECT_TRUE(ProcessEventsUntil([&] { return p.Counts.size() == 2; }));
}

TEST(ComMonitor, ClosingWhileBytesKeepArrivingNeverDeadlocksAndNothingFollowsTheClose)
{
    TPty pty;
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        while (writing) {
            try {
                pty.Write("0123456789");
            } catch (...) {
            }
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int round = 0; round < 60; ++round) {
        TComPort port;
        port.SetEvents({evRxChar});
        port.SetPort(pty.SlavePath());
        bool closed = false;
        int afterClose = 0;
        int notifications = 0;
        port.OnAfterClose = [&](QObject*) { closed = true; };
        port.OnRxChar = [&](QObject*, int count) {
            ++notifications;
            if (closed)
                ++afterClose;
            QByteArray text;
            port.ReadText(text, count);
            // Every third round the handler itself closes the port, from inside the delivery.
            if (round % 3 == 0 && notifications == 2)
                port.ClosePort();
        };
        port.OpenPort();
        ProcessEventsUntil([&] { return notifications >= 3 || closed; }, 2s);
        port.ClosePort();
        ProcessFor(5ms);
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(afterClose, 0) << "round " << round;
    }
    writing = false;
    writer.join();
}

TEST(ComMonitor, AHungUpDeviceClosesThePortOnceAndLeavesNoBusyThread)
{
    TShownErrors shown;
    TComLink link;
    QStringList linkLog;
    link.OnConn = [&](bool on) { linkLog << QStringLiteral("Conn %1").arg(on); };
    link.OnCTSChange = [&](bool on) { linkLog << QStringLiteral("CTS %1").arg(on); };
    auto p = std::make_unique<TPtyPort>();
    p->Port->AttachLink(&link);
    p->Port->OpenPort();
    ProcessFor(50ms);
    linkLog.clear();
    p->Pty.CloseMaster(); // the cable pulled out
    ASSERT_TRUE(ProcessEventsUntil([&] { return !p->Port->Connected(); }));
    ProcessFor(100ms);
    EXPECT_EQ(shown.Messages, QStringList{QStringLiteral("ReadFile function failed (win error code: 5)")});
    EXPECT_EQ(linkLog, (QStringList{"CTS 0", "Conn 0"}));

    const double before = CpuSeconds();
    ProcessFor(500ms);
    EXPECT_LT(CpuSeconds() - before, 0.25); // nothing spins on the dead device

    TPty back; // the adapter plugged in again
    p->Port->SetPort(back.SlavePath());
    p->Port->OpenPort();
    back.Write("ok");
    EXPECT_TRUE(ProcessEventsUntil([&] { return !p->Counts.isEmpty(); }));
    p->Port->DetachLink(&link);
}

TEST(ComMonitor, ALostDeviceClosesThePortOnceHoweverItIsNoticed)
{
    struct TCase {
        const char* How;
        std::function<void(TLoggedPort&)> Lose; // the device goes, and something notices
        const char* Shown;
    };
    const TCase cases[] = {
        {"the monitor's wait fails", [](TLoggedPort& p) { p.Device->FailWait(EIO); },
         "ReadFile function failed (win error code: 5)"},
        {"the receive handler's read fails", [](TLoggedPort& p) {
             p.Script->ReadError = EIO;
             p.Script->Input = "x";
             p.Raise(0x0001);
         }, "ReadFile function failed (win error code: 5)"},
        {"a reply the receive handler sends fails", [](TLoggedPort& p) {
             p.Port->OnRxChar = [&p](QObject*, int) { p.Port->WriteText("reply"); };
             p.Script->WriteError = EIO;
             p.Script->Input = "x";
             p.Raise(0x0001);
         }, "WriteFile function failed (win error code: 5)"},
        {"a handler raises while the device is gone", [](TLoggedPort& p) {
             p.Port->OnRxChar = [](QObject*, int) { throw Exception(QStringLiteral("handler failed")); };
             p.Script->Gone = true;
             p.Script->Input = "x";
             p.Raise(0x0001);
         }, "ReadFile function failed (win error code: 5)"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.How);
        TShownErrors shown;
        TLoggedPort p({evRxChar, evCTS});
        p.Port->OpenPort();
        p.Log.clear();
        c.Lose(p);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !p.Port->Connected() && !shown.Messages.isEmpty(); }));
        ProcessFor(50ms);
        EXPECT_EQ(shown.Messages, QStringList{QString::fromLatin1(c.Shown)});
        EXPECT_FALSE(p.Script->Open);
        EXPECT_EQ(p.Log.count(QStringLiteral("CTS 0")), 1);
        // Opened again (the adapter plugged back in), the port works as before.
        p.Script->ReadError = p.Script->WriteError = p.Script->WaitFailure = 0;
        p.Script->Gone = false;
        p.Port->OpenPort();
        EXPECT_TRUE(p.Script->Open);
    }
}

TEST(ComMonitor, WithWindowSyncEachEventIsOneMessageAndAFailedStepIsShown)
{
    TShownErrors shown;
    TLoggedPort p({evRLSD, evRing, evCTS}, smWindowSync);
    p.Port->OpenPort();
    p.Log.clear();
    p.Script->Signals = TComSignals{csRLSD};
    p.Raise(0x0020);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !p.Log.isEmpty(); }));
    p.Raise(0x0100);
    ASSERT_TRUE(ProcessEventsUntil([&] { return p.Log.size() == 2; }));
    EXPECT_EQ(p.Log, (QStringList{"RLSD 1", "Ring"}));

    p.Script->ModemError = EPROTO; // the CTS step fails...
    p.Raise(0x0008);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !shown.Messages.isEmpty(); }));
    EXPECT_EQ(shown.Messages[0], QStringLiteral("GetCommModemStatus function failed (win error code: 71)"));
    p.Raise(0x0100); // ...and the monitor goes on
    EXPECT_TRUE(ProcessEventsUntil([&] { return p.Log.count(QStringLiteral("Ring")) == 2; }));
    p.Script->ModemError = 0;
}

TEST(ComMonitor, WithoutSynchronisationTheStepsRunOnTheMonitorThread)
{
    TLoggedPort p({evRing}, smNone);
    std::atomic<bool> onMainThread{true};
    std::atomic<bool> rang{false};
    const auto main = std::this_thread::get_id();
    p.Port->OnRing = [&](QObject*) {
        onMainThread = std::this_thread::get_id() == main;
        rang = true;
    };
    p.Port->OpenPort();
    p.Raise(0x0100);
    const auto deadline = Clock::now() + 5s;
    while (!rang && Clock::now() < deadline)
        std::this_thread::sleep_for(1ms); // no event processing needed
    EXPECT_TRUE(rang);
    EXPECT_FALSE(onMainThread);
}

TEST(ComMonitor, TheTransmitQueueEmptyAndEventCharacterEventsOnARealTerminal)
{
    TPtyPort p({evRxChar, evTxEmpty, evRxFlag});
    QStringList log;
    p.Port->OnTxEmpty = [&](QObject*) { log << QStringLiteral("TxEmpty"); };
    p.Port->OnRxFlag = [&](QObject*) { log << QStringLiteral("RxFlag"); };
    p.Port->SetEventChar('\n');
    p.Port->OpenPort();
    p.Port->WriteText("out");
    ASSERT_TRUE(ProcessEventsUntil([&] { return log.contains(QStringLiteral("TxEmpty")); }));
    // Linux shows the event character only once a read has taken it from the queue.
    p.Pty.Write("line\n");
    ASSERT_TRUE(ProcessEventsUntil([&] { return log.contains(QStringLiteral("RxFlag")); }));
    EXPECT_EQ(log.count(QStringLiteral("RxFlag")), 1);
}

TEST(ComMonitor, LinksThatWantTheBytesGetThemReadOnceInsteadOfOnRxChar)
{
    TLoggedPort p({evRxChar});
    TComLink reader;
    QStringList got;
    reader.OnRxBuf = [&](const char* buffer, int count) { got << QString::fromLatin1(buffer, count); };
    p.Port->OnRxBuf = [&](QObject*, const char* buffer, int count) { got << QStringLiteral("port ") + QString::fromLatin1(buffer, count); };
    p.Port->AttachLink(&reader);
    p.Port->OpenPort();
    p.Log.clear();
    p.Script->Input = "bytes";
    p.Raise(0x0001);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !got.isEmpty(); }));
    ProcessFor(50ms);
    EXPECT_EQ(got, (QStringList{"port bytes", "bytes"}));
    EXPECT_FALSE(p.Log.contains(QStringLiteral("RxChar 5")));
    p.Port->DetachLink(&reader);
}
