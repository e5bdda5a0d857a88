// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

// Runs work on the main thread on behalf of other threads.
//
// A worker calls Synchronize: the request joins a queue, the main thread is woken by a posted
// event, and the worker waits until the main thread has run the request; what the request raised
// is rethrown in the worker. The main thread runs one pending request per wake-up event, so
// requests run whenever it processes events: in its event loop and inside any explicit
// processEvents() call, including one made by another request. A main thread that waits for a
// worker to end does so through WaitServing, which keeps serving requests, so a worker caught in
// the middle of a Synchronize always gets to finish. (A blocking queued signal would deadlock
// right there.)
class TThreadSync {
public:
    // The first call must be made on the main thread, with the Qt application object in place.
    static TThreadSync& Instance();

    TThreadSync(const TThreadSync&) = delete;
    TThreadSync& operator=(const TThreadSync&) = delete;
    ~TThreadSync();

    // Worker side: run work on the main thread and wait for it; rethrows what work raised.
    void Synchronize(std::function<void()> work);
    // Worker side: have work run on the main thread and return at once. What it raises goes to
    // the application's exception display.
    void Queue(std::function<void()> work);

    // Main thread: serve requests until done() holds. done() is checked again each time a
    // request has run and each time Notify() is called.
    void WaitServing(const std::function<bool()>& done);
    // Any thread: have WaitServing check its condition again.
    void Notify();
    // Main thread: run the oldest pending request, if there is one.
    bool ServeOne();

private:
    TThreadSync();
    void Post(std::shared_ptr<struct TSyncRequest> request);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<struct TSyncRequest>> pending_;
    std::unique_ptr<QObject> waker_;
};
