// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgrammingPass.h"

#include "ComThread.h"
#include "Console.h"
#include "CPort.h"
#include "EComPort.h"
#include "Exception.h"
#include "LocoNetLink.h"
#include "LocoNetReceive.h"
#include "NetComDevice.h"
#include "StopSignals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <string>

using namespace std::chrono_literals;

std::vector<TPassStep> PlanPass(const TPassChoice& choice)
{
    std::vector<TPassStep> plan;
    const auto& start = LocoNet::VersionStartMessages;
    for (std::size_t i = 0; i < start.size(); ++i)
        plan.push_back({TPassStep::StartMessage, start[i], 0, false,
                        QStringLiteral("start message %1 of %2").arg(i + 1).arg(start.size())});
    // The first contact goes out as the window's button for the version sends it: "Current
    // Monitor On" (direction bit set) for version 1.1 with its current monitor, "Current Monitor
    // Off" or "Start with Count On" (direction bit clear) otherwise.
    const bool withMonitor = choice.Version == TModuleVersion::Version11 && choice.CurrentMonitor;
    const QString button = withMonitor ? QStringLiteral("Current Monitor On")
        : choice.Version == TModuleVersion::Version11 ? QStringLiteral("Current Monitor Off")
                                                      : QStringLiteral("Start with Count On");
    plan.push_back({TPassStep::SwitchRequests, {}, choice.FirstContact, !withMonitor,
                    QStringLiteral("first contact %1 (%2)").arg(choice.FirstContact).arg(button)});
    plan.push_back({TPassStep::SwitchRequests, {}, choice.Count, true,
                    (choice.Count == 1 ? QStringLiteral("%1 contact (Range)") : QStringLiteral("%1 contacts (Range)"))
                        .arg(choice.Count)});
    return plan;
}

std::vector<TPlannedMessage> PlannedMessages(const std::vector<TPassStep>& plan)
{
    std::vector<TPlannedMessage> messages;
    std::chrono::milliseconds at{0};
    const auto add = [&](const LocoNet::TMessage& message, const QString& what) {
        const LocoNet::TMessage wire = LocoNet::WithChecksum(message);
        messages.push_back({at, wire, what});
        at += TLocoNetLink::BytePause * wire.size();
    };
    for (const TPassStep& step : plan) {
        if (step.Kind == TPassStep::StartMessage) {
            add(step.Message, step.What);
            continue;
        }
        const LocoNet::TSwitchRequestPair pair = LocoNet::SwitchRequestPair(step.Address, step.Thrown);
        add(pair.OutputOn, step.What + QStringLiteral(", output on"));
        at += TLocoNetLink::SwitchPairPause;
        add(pair.OutputOff, step.What + QStringLiteral(", output off"));
    }
    messages.push_back({at, {}, QStringLiteral("done")});
    return messages;
}

namespace {

// The console as a LocoNet link shows traffic: each message as the window's monitor pane shows
// it, each input report as its contact and level. The pacing is never cut short: a stop takes
// effect between the steps of the pass, so that no message is left half sent on the bus.
class TConsoleView final : public TLocoNetView {
public:
    explicit TConsoleView(TConsole& console)
        : console_(console)
    {
    }
    // A LocoNet interface puts every message it is given on the bus and echoes it: what was sent
    // is waited for among what comes back, in the order sent. One that comes back after a later
    // one has is taken as lost.
    void MessageSent(const LocoNet::TMessage& message) override
    {
        std::string hex;
        LocoNet::AppendHex(hex, message);
        unechoed_.push_back(std::move(hex));
        ++sent_;
    }
    void AddLine(std::string_view line) override
    {
        if (line != LocoNet::NoCentralLine)
            ++messages_;
        if (const auto echo = std::find(unechoed_.begin(), unechoed_.end(), line); echo != unechoed_.end()) {
            lost_ += int(echo - unechoed_.begin());
            unechoed_.erase(unechoed_.begin(), echo + 1);
        }
        lastTraffic_ = std::chrono::steady_clock::now();
        console_.Line(QString::fromLatin1(line.data(), qsizetype(line.size())));
    }
    // The window's pane shows switch requests and input reports twice; a terminal or a script
    // gets each message once.
    void AddLineAgain(std::string_view) override {}
    void ShowInputReport(const LocoNet::TInputReport& report) override
    {
        console_.Line(QStringLiteral("contact %1: level %2").arg(report.Contact).arg(report.Level));
    }
    void Beep() override { console_.Bell(); }
    void ProcessPending() override { QCoreApplication::processEvents(); }
    // The LocoNet messages received; those sent, and how many of them did not come back.
    int Messages() const { return messages_; }
    int Sent() const { return sent_; }
    int NotEchoed() const { return lost_ + int(unechoed_.size()); }
    std::chrono::steady_clock::time_point LastTraffic() const { return lastTraffic_; }

private:
    TConsole& console_;
    int messages_ = 0;
    int sent_ = 0;
    int lost_ = 0;
    std::deque<std::string> unechoed_;
    std::chrono::steady_clock::time_point lastTraffic_ = std::chrono::steady_clock::now();
};

// After the pass, what still comes is printed and answered (the module reports its contacts
// once programmed; on a busy bus the station's replies come late), until the line has been quiet
// for a while, or for long enough.
void Listen(const TConsoleView& view, TStopSignals& stop)
{
    constexpr auto kQuiet = 500ms;
    constexpr auto kLongest = 10s;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + kLongest;
    for (;;) {
        const auto until = std::min(std::max(view.LastTraffic(), start) + kQuiet, deadline);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left <= 0ms || stop.Received())
            return;
        QEventLoop loop;
        QTimer::singleShot(left, &loop, &QEventLoop::quit);
        QObject::connect(&stop, &TStopSignals::Stop, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace

int RunProgrammingPass(const TProgramOptions& options, TConsole& console, TStopSignals& stop)
{
    TComPort port;
    port.SetPort(options.Port);
    StoreLocoNetPortSettings(port);
    if (options.Rate)
        port.SetBaudRate(*options.Rate);
    TConsoleView view(console);
    std::string pending;
    std::string working;
    TLocoNetLink link(port, view, pending, working);
    port.OnRxChar = [&link](QObject*, int count) { link.Receive(count); };

    // What the port reports by itself (its device went away) is an error of the pass.
    bool failed = false;
    const TExceptionHandler previous = SetExceptionHandler([&](std::exception_ptr error) {
        console.Error(ErrorText(options.Port, error));
        failed = true;
    });
    const struct TRestore {
        const TExceptionHandler& Handler;
        ~TRestore() { SetExceptionHandler(Handler); }
    } restore{previous};

    console.Progress(QStringLiteral("opening ") + options.Port);
    try {
        // A stop signal ends a connection that takes its time (a network port) at once.
        SetOpenCancelHandle(stop.Handle());
        const struct TNoCancel {
            ~TNoCancel() { SetOpenCancelHandle(-1); }
        } noCancel;
        port.OpenPort();
        SetFlowControlForRate(port);
    } catch (const EComPort& e) {
        if (stop.Received())
            return 128 + stop.Received();
        console.Error(PortErrorText(options.Port, e));
        return 3;
    }
    link.Reset();

    const auto goOn = [&] {
        view.ProcessPending();
        if (stop.Received() || failed || !port.Connected())
            throw EAbort();
    };
    try {
        link.ForgetClaimedSlots();
        const std::vector<TPassStep> plan = PlanPass(options.Pass);
        const TPassStep& lastStartMessage = plan[LocoNet::VersionStartMessages.size() - 1];
        for (const TPassStep& step : plan) {
            console.Progress(step.What);
            if (step.Kind == TPassStep::StartMessage)
                link.SendMessage(step.Message);
            else
                link.SendSwitchRequest(step.Address, step.Thrown);
            goOn();
            // Nothing came back while the start messages went out: for a Kwadrant module the
            // window says there is no connection.
            if (&step == &lastStartMessage && options.Pass.Version == TModuleVersion::Kwadrant && view.Messages() == 0) {
                for (const std::string_view line : LocoNet::NoConnectionLines)
                    console.Warning(QString::fromLatin1(line.data(), qsizetype(line.size())));
            }
        }
        console.Progress(QStringLiteral("listening"));
        Listen(view, stop);
        // Over a network a write ends once the socket has its bytes: the pass has not succeeded
        // until the other side took them all, or the connection gave up on them (it does within
        // half a minute when the server or the network has gone).
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        for (goOn(); port.BytesUnsent() > 0; goOn()) {
            if (std::chrono::steady_clock::now() >= deadline)
                throw EComPort(erWriteFailed, ETIMEDOUT);
            QEventLoop loop;
            QTimer::singleShot(50ms, &loop, &QEventLoop::quit);
            QObject::connect(&stop, &TStopSignals::Stop, &loop, &QEventLoop::quit);
            loop.exec();
        }
    } catch (const EAbort&) {
        // A stop, or a failure that was reported where it happened.
    } catch (const EComPort& e) {
        console.Error(PortErrorText(options.Port, e));
        failed = true;
    }
    // A port that closed by itself lost its device. The report of that may still be on its way
    // from a monitor that ended: it is waited for (and shown) with the monitor.
    failed = failed || !port.Connected();
    Guarded([&] { port.ClosePort(); }); // no power-off message: the layout stays as it is
    ReapComThreads(true);
    QCoreApplication::processEvents();
    // A stop wins over a failure, which wins over silence: each explains the next.
    if (stop.Received())
        return 128 + stop.Received();
    if (failed)
        return 4;
    if (view.Messages() == 0) {
        // A LocoNet interface echoes what it sends: not even that came back.
        console.Error(QStringLiteral("no LocoNet message came back from %1: is it the LocoNet interface?").arg(options.Port));
        return 5;
    }
    if (const int missing = view.NotEchoed()) {
        // The interface, or the bus behind it, stopped taking messages during the pass.
        console.Error(QStringLiteral("%1 of the %2 LocoNet messages sent did not come back from %3: the module may not "
                                     "be programmed; is the interface still connected to the LocoNet?")
                          .arg(missing)
                          .arg(view.Sent())
                          .arg(options.Port));
        return 5;
    }
    return 0;
}

QString PortErrorText(const QString& port, const EComPort& e)
{
    if (e.SystemCode() == -1)
        return port + QStringLiteral(": ") + e.Message();
    QString text = port + QStringLiteral(": ") + qt_error_string(e.SystemCode());
    if (!e.Detail().isEmpty())
        text += QStringLiteral(": ") + e.Detail();
    return text + QStringLiteral(" (code %1)").arg(e.SystemCode());
}

QString ErrorText(const QString& port, const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EComPort& e) {
        return PortErrorText(port, e);
    } catch (...) {
        return ExceptionMessage(error);
    }
}
