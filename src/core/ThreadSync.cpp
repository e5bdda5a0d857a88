#include "ThreadSync.h"

#include "Exception.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

struct TSyncRequest {
    std::function<void()> work;
    bool waited = false;
    bool done = false;
    std::exception_ptr error;
};

namespace {
// Lives on the main thread; each posted wake-up event makes it serve one request.
class TSyncWaker final : public QObject {
public:
    static QEvent::Type WakeUp()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    explicit TSyncWaker(TThreadSync& sync)
        : sync_(sync)
    {
    }

    bool event(QEvent* e) override
    {
        if (e->type() != WakeUp())
            return QObject::event(e);
        sync_.ServeOne();
        return true;
    }

private:
    TThreadSync& sync_;
};
}

TThreadSync& TThreadSync::Instance()
{
    static TThreadSync instance;
    return instance;
}

TThreadSync::TThreadSync()
    : waker_(std::make_unique<TSyncWaker>(*this))
{
    Q_ASSERT(QCoreApplication::instance()
             && QThread::currentThread() == QCoreApplication::instance()->thread());
}

TThreadSync::~TThreadSync() = default;

void TThreadSync::Post(std::shared_ptr<TSyncRequest> request)
{
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(request));
    }
    changed_.notify_all();
    QCoreApplication::postEvent(waker_.get(), new QEvent(TSyncWaker::WakeUp()));
}

void TThreadSync::Synchronize(std::function<void()> work)
{
    auto request = std::make_shared<TSyncRequest>();
    request->work = std::move(work);
    request->waited = true;
    Post(request);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return request->done; });
    if (request->error)
        std::rethrow_exception(request->error);
}

void TThreadSync::Queue(std::function<void()> work)
{
    auto request = std::make_shared<TSyncRequest>();
    request->work = std::move(work);
    Post(std::move(request));
}

bool TThreadSync::ServeOne()
{
    std::shared_ptr<TSyncRequest> request;
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty())
            return false;
        request = std::move(pending_.front());
        pending_.pop_front();
    }
    try {
        request->work();
    } catch (...) {
        if (request->waited)
            request->error = std::current_exception();
        else
            HandleException(std::current_exception());
    }
    // What the work captured ends here, on the thread that ran it.
    request->work = nullptr;
    {
        std::lock_guard lock(mutex_);
        request->done = true;
        // The waiting thread is the last to touch the request and the error it carries: this
        // thread lets go before the waiter can see that the request is done.
        request.reset();
    }
    changed_.notify_all();
    return true;
}

void TThreadSync::WaitServing(const std::function<bool()>& done)
{
    std::unique_lock lock(mutex_);
    while (!done()) {
        if (!pending_.empty()) {
            lock.unlock();
            ServeOne();
            lock.lock();
            continue;
        }
        changed_.wait(lock);
    }
}

void TThreadSync::Notify()
{
    {
        std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
}
