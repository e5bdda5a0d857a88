#include "StopSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t gWriteEnd = -1;
volatile sig_atomic_t gSignal = 0; // the first one received

void OnSignal(int signal)
{
    const int saved = errno;
    if (gSignal == 0)
        gSignal = signal;
    const unsigned char number = static_cast<unsigned char>(signal);
    (void)!::write(gWriteEnd, &number, 1);
    errno = saved;
}

} // namespace

TStopSignals::TStopSignals(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe, no orderly stop: the signals keep their default action
    gWriteEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TStopSignals::Read);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

TStopSignals::~TStopSignals()
{
    for (int signal : kSignals)
        std::signal(signal, SIG_DFL);
    gWriteEnd = -1;
    gSignal = 0;
    notifier_.reset();
    for (int fd : pipe_) {
        if (fd >= 0)
            ::close(fd);
    }
}

int TStopSignals::Received() const
{
    return gSignal;
}

void TStopSignals::Read()
{
    unsigned char number = 0;
    while (::read(pipe_[0], &number, 1) == 1) {
    }
    if (!notified_ && gSignal != 0) { // one stop is enough
        notified_ = true;
        Q_EMIT Stop(gSignal);
    }
}
