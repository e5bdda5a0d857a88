// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// The signals that ask a program to stop (SIGINT from Ctrl-C, SIGTERM from a session that logs
// out, SIGHUP from a terminal that closes), turned into a notification on the main thread, so
// that the program can stop in an orderly way: the message in flight completes, the port is
// closed and its lock released. The signal handler only writes to a pipe, which the event loop
// watches. Once a stop is under way, a repeated signal (a second Ctrl-C) changes nothing: ending
// the program then would cut the message in flight.
class TStopSignals final : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; one instance at a time, on the main thread.
    explicit TStopSignals(QObject* parent = nullptr);
    ~TStopSignals() override;

    // The first signal received, or 0.
    int Received() const;
    // A descriptor that becomes readable at the first signal (and stays so until the event loop
    // has handled it): what a wait outside the event loop watches. -1 without one.
    int Handle() const { return pipe_[0]; }

Q_SIGNALS:
    void Stop(int signal);

private:
    void Read();

    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    bool notified_ = false;
};
