#include "ComThread.h"

#include "CPort.h"
#include "ComDevice.h"
#include "EComPort.h"
#include "Exception.h"
#include "ThreadSync.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <atomic>
#include <vector>

struct TComThread::TShared {
    TStopEvent Stop;
    QPointer<TCustomComPort> Port; // set on the main thread, which alone follows it
    TSyncMethod SyncMethod = smThreadSync;
    unsigned Generation = 0;
    std::atomic<bool> Finished{false};
    // Set when the port was closed from inside this thread's own delivery: the thread then ends
    // on its own and touches neither the port nor the device again.
    std::atomic<bool> Orphaned{false};
    // Main thread only: a batch of this thread is being handled right now.
    bool Delivering = false;
};

namespace {

using TShared = TComThread::TShared;

// Whether a failure is the error of a device call that says the device is gone.
bool IsDeviceError(const TComDevice& device, const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const EComPort& e) {
        return device.IsDeviceGone(e.SystemCode());
    } catch (...) {
        return false;
    }
}

// Monitors whose port was closed from inside their own delivery. Each ends as soon as that
// delivery is over; it is joined later, by the main thread, when it is not inside it.
struct TOrphan {
    std::thread Thread;
    std::shared_ptr<TShared> Shared;
};
std::vector<TOrphan>& Orphans()
{
    static std::vector<TOrphan> orphans;
    return orphans;
}

// The event the monitor posts to the hidden window for each event of a batch (smWindowSync).
class TComEventMessage final : public QEvent {
public:
    static QEvent::Type MessageType()
    {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }
    explicit TComEventMessage(TComEvent event)
        : QEvent(MessageType())
        , Event(event)
    {
    }
    const TComEvent Event;
};

class TComHiddenWindow final : public QObject {
public:
    explicit TComHiddenWindow(TCustomComPort& port)
        : port_(port)
    {
    }

    bool event(QEvent* e) override
    {
        if (e->type() != TComEventMessage::MessageType())
            return QObject::event(e);
        // The monitor has long moved on; the step runs only if the port is still open. What it
        // raises is shown, and the monitor keeps going.
        const TComEvent event = static_cast<TComEventMessage*>(e)->Event;
        if (port_.Connected())
            Guarded([&] { port_.RunEventStep(event); });
        return true;
    }

private:
    TCustomComPort& port_;
};

} // namespace

void TComThread::DeliverEvents(TCustomComPort* port, TShared& shared, TComEvents events)
{
    switch (shared.SyncMethod) {
    case smThreadSync:
        TThreadSync::Instance().Synchronize([port, &shared, events] {
            shared.Delivering = true;
            struct TReset {
                bool& flag;
                ~TReset() { flag = false; }
            } reset{shared.Delivering};
            port->RunEventHandlers(events);
        });
        break;
    case smWindowSync: {
        // One message per event, in the order of the handling steps. The monitor waits only
        // until the main thread has taken each message, not for the step to run.
        static constexpr TComEvent kOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                               evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
        for (TComEvent event : kOrder) {
            if (!events.Contains(event))
                continue;
            TThreadSync::Instance().Synchronize([port, &shared, event] {
                if (shared.Orphaned)
                    return;
                if (QObject* window = port->hiddenWindow_.get())
                    QCoreApplication::postEvent(window, new TComEventMessage(event));
            });
        }
        break;
    }
    case smNone:
        port->RunEventHandlers(events);
        break;
    }
}

void TComThread::Execute(TCustomComPort* port, std::shared_ptr<TShared> shared)
{
    TComDevice& device = port->Device();
    const unsigned generation = shared->Generation;
    const auto deviceLost = [target = shared->Port, generation](int error) {
        TThreadSync::Instance().Queue([target, generation, error] {
            if (target)
                target->DeviceLost(generation, error);
        });
    };
    bool stopped = false;
    std::exception_ptr failure;
    try {
        for (;;) {
            std::uint32_t mask = 0;
            int error = 0;
            const TWaitResult result = device.WaitCommEvent(shared->Stop, mask, error);
            if (result == TWaitResult::Stopped) {
                stopped = true;
                break;
            }
            if (result == TWaitResult::Failed) {
                // The device is gone (or the wait broke): stop watching it, and have the main
                // thread close the port and say so once.
                deviceLost(error);
                break;
            }
            DeliverEvents(port, *shared, MaskToEvents(mask));
            if (shared->Orphaned)
                break;
        }
    } catch (...) {
        // A handling step raised. The monitor ends quietly: no more notifications arrive until
        // the port is closed and opened again.
        failure = std::current_exception();
    }
    if (failure) {
        // Unless the device is gone: a step that failed on it, or anything that raised while it
        // went, must not leave the port open on a dead device with nobody told. A port closed
        // from inside the delivery may be destroyed by now, device and all: then only the main
        // thread looks at the port, and at the failure.
        if (shared->Orphaned || IsDeviceError(device, failure)) {
            // The failure moves to the main thread whole: this thread keeps no reference that
            // it would drop while the main thread still reads the exception.
            TThreadSync::Instance().Queue([target = shared->Port, generation, failure = std::move(failure)] {
                if (target)
                    target->ReportDeliveryFailure(generation, failure);
            });
        } else if (const int error = device.CheckPresent(); device.IsDeviceGone(error)) {
            deviceLost(error);
        }
    }
    if (stopped && !shared->Orphaned) {
        device.SetCommMask(0);
        device.PurgeComm(PurgeFlag::TxClear | PurgeFlag::RxClear);
    }
    shared->Finished = true;
    TThreadSync::Instance().Notify();
}

std::unique_ptr<QObject> CreateComHiddenWindow(TCustomComPort& port)
{
    return std::make_unique<TComHiddenWindow>(port);
}

void ReapComThreads(bool wait)
{
    auto& orphans = Orphans();
    for (auto it = orphans.begin(); it != orphans.end();) {
        if (it->Thread.get_id() == std::this_thread::get_id() || (!wait && !it->Shared->Finished)) {
            ++it;
            continue;
        }
        TThreadSync::Instance().WaitServing([&] { return it->Shared->Finished.load(); });
        it->Thread.join();
        it = orphans.erase(it);
    }
}

TComThread::TComThread(TCustomComPort& port)
    : shared_(std::make_shared<TShared>())
    , port_(port)
{
    ReapComThreads(false);
    TThreadSync::Instance(); // its main-thread side must exist before the first request
    shared_->SyncMethod = port.SyncMethod();
    shared_->Generation = port.generation_;
    shared_->Port = &port;
    port.Device().SetCommMask(EventsToMask(port.Events()));
    thread_ = std::thread(Execute, &port, shared_);
}

TComThread::~TComThread()
{
    shared_->Stop.Signal();
    std::this_thread::yield();
    if (shared_->Delivering || std::this_thread::get_id() == thread_.get_id()) {
        // Closed from inside the thread's own delivery: it cannot end before this call returns,
        // so waiting would wait forever. It is left to end by itself once the delivery is over;
        // the clean-up it would have done is done here.
        shared_->Orphaned = true;
        Orphans().push_back({std::move(thread_), shared_});
        port_.Device().SetCommMask(0);
        port_.Device().PurgeComm(PurgeFlag::TxClear | PurgeFlag::RxClear);
        return;
    }
    TThreadSync::Instance().WaitServing([this] { return shared_->Finished.load(); });
    thread_.join();
    ReapComThreads(false);
}
