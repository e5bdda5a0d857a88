// SPDX-License-Identifier: GPL-3.0-or-later
#include "PosixComDevice.h"

#include "PortDevice.h"

#include "ComTimeouts.h"
#include "GnuGettext.h"
#include "MonitorWait.h"
#include "PosixLineSettings.h"

#include <QFile>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

using std::chrono::milliseconds;

// How often the monitor looks at modem lines and error counters: Linux has no poll event for
// them (TIOCMIWAIT blocks a thread of its own and cannot join a poll).
constexpr int kLineTickMs = 10;
// The kernel's tty input buffer, for the 80 %-full event when no queue size was asked for.
constexpr int kKernelInputBuffer = 4096;

constexpr std::uint32_t kModemEvents = ComEventMask::Cts | ComEventMask::Dsr | ComEventMask::Rlsd
    | ComEventMask::Ring;
constexpr std::uint32_t kRxEvents = ComEventMask::RxChar | ComEventMask::Rx80Full;
constexpr std::uint32_t kCounterEvents = ComEventMask::Err | ComEventMask::Break;

// A device without modem lines or error counters (a pseudo-terminal, some USB adapters) answers
// their ioctls with one of these; that means "none", not a failure.
bool NotSupported(int error)
{
    constexpr int kNoIoctlCommand = 515; // ENOIOCTLCMD, which leaks out of some drivers
    return error == ENOTTY || error == EINVAL || error == kNoIoctlCommand;
}

int RetryOnInterrupt(const auto& call)
{
    int r;
    do {
        r = call();
    } while (r < 0 && errno == EINTR);
    return r;
}

int ReadErrorCounts(int fd, TPosixComDevice::TErrorCounts& counts)
{
    serial_icounter_struct ic{};
    if (ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return errno;
    counts = {ic.frame, ic.parity, ic.overrun, ic.buf_overrun, ic.brk};
    return 0;
}

// FTDI-type USB adapters hold received bytes for up to 16 ms unless asked for low latency.
// Devices that do not know the request keep their behaviour; that is fine.
void RequestLowLatency(int fd)
{
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0)
        return;
    if (ss.flags & ASYNC_LOW_LATENCY)
        return;
    ss.flags |= ASYNC_LOW_LATENCY;
    (void)ioctl(fd, TIOCSSERIAL, &ss);
}

// Whether an open terminal is the one this program talks to its user through: its controlling
// terminal (or /dev/tty, which stands for it), or the device behind standard input, output or
// error. Taking it as a port would set the user's terminal raw, at the port's rate, until reset.
bool IsOwnTerminal(int fd)
{
    struct stat port {};
    if (fstat(fd, &port) != 0 || !S_ISCHR(port.st_mode))
        return false;
    if (port.st_rdev == makedev(5, 0) || tcgetsid(fd) == getsid(0))
        return true;
    for (int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat s {};
        if (fstat(standard, &s) == 0 && S_ISCHR(s.st_mode) && s.st_rdev == port.st_rdev)
            return true;
    }
    return false;
}

} // namespace

std::unique_ptr<TComDevice> CreateSerialComDevice()
{
    return std::make_unique<TPosixComDevice>();
}

// --- Opening and closing ----------------------------------------------------------------------

TPosixComDevice::~TPosixComDevice()
{
    Close();
}

QString TPosixComDevice::DevicePath(const QString& portName)
{
    return portName.contains(u'/') ? portName : QStringLiteral("/dev/") + portName;
}

int TPosixComDevice::Open(const QString& portName)
{
    errorDetail_.clear();
    if (fd_ >= 0)
        return EBUSY;
    if (portName.isEmpty())
        return ENOENT;
    const QByteArray path = QFile::encodeName(DevicePath(portName));
    // Non-blocking, or the open may wait for carrier; close-on-exec, or a child process would
    // inherit the port and keep it locked.
    const int fd = RetryOnInterrupt([&] { return ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0)
        return errno;
    const auto fail = [fd](int error) {
        ::close(fd);
        return error;
    };
    if (!isatty(fd))
        return fail(ENOTTY);
    // Before anything below touches the terminal's settings or its queues.
    if (IsOwnTerminal(fd)) {
        errorDetail_ = TranslateText(QStringLiteral("the port is this program's own terminal"));
        return fail(EBUSY);
    }
    // Exclusive use. O_EXCL means nothing for ttys. flock() keeps out every cooperating program,
    // root included; TIOCEXCL makes any further open() fail with EBUSY, except root's. Another
    // program's lock is reported as EBUSY either way, so users see one code for "port in use".
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (ioctl(fd, TIOCEXCL) != 0)
        return fail(errno);
    RequestLowLatency(fd);
    // Whatever a previous user of the line left behind is not ours to receive.
    tcflush(fd, TCIOFLUSH);

    if (const int error = monitorWait_.Open())
        return fail(error);

    fd_ = fd;
    bytesRead_ = 0;
    txPending_ = false;
    eventCharSeen_ = false;
    errorCountsAvailable_ = ReadErrorCounts(fd_, cleared_) == 0;
    return 0;
}

void TPosixComDevice::Close()
{
    if (fd_ < 0)
        return;
    // close() waits up to 30 s for output that flow control holds back: drop it first. Only
    // then: on a pseudo-terminal, whose output count is always 0, a flush would also drop bytes
    // written a moment ago that are still on their way to the other side.
    if (OutputCount() > 0)
        tcflush(fd_, TCOFLUSH);
    // The exclusive-use flag belongs to the tty, not to this descriptor: it would outlive the
    // close while anyone else keeps the tty open, and lock this program out of its next open.
    (void)ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    monitorWait_.Close();
    fd_ = -1;
}

// --- Settings ---------------------------------------------------------------------------------

int TPosixComDevice::SetupComm(int inputSize, int /*outputSize*/)
{
    if (fd_ < 0)
        return EBADF;
    // The kernel's tty queues have fixed sizes; the requested input size is what the 80 %-full
    // event measures against.
    inputSize_ = inputSize;
    return 0;
}

int TPosixComDevice::SetLineSettings(const TLineSettings& settings)
{
    if (fd_ < 0)
        return EBADF;
    TPosixLine line;
    if (const int error = PosixLineFor(settings, line))
        return error;
    if (const int error = ApplyLineConfig(fd_, line.Termios))
        return error;

    // Fixed line levels, where the flow control does not drive them. The kernel raises DTR and
    // RTS at open, so both are set explicitly. Devices without modem lines ignore this.
    const auto setLine = [this](int which, bool on) {
        if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &which) != 0 && !NotSupported(errno))
            return errno;
        return 0;
    };
    if (line.DriveRts) {
        if (const int error = setLine(TIOCM_RTS, line.Rts))
            return error;
    }
    if (const int error = setLine(TIOCM_DTR, line.Dtr))
        return error;

    line_ = line;
    return 0;
}

int TPosixComDevice::SetCommTimeouts(const TCommTimeouts& timeouts)
{
    if (fd_ < 0)
        return EBADF;
    timeouts_ = timeouts;
    return 0;
}

// --- Transfers --------------------------------------------------------------------------------

int TPosixComDevice::OutputCount() const
{
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

int TPosixComDevice::Write(const char* data, int size, int& written)
{
    written = 0;
    if (fd_ < 0)
        return EBADF;
    // write() only queues the bytes in the kernel. The write is complete once the queue has
    // drained, or it gives up at the time-out; what is still queued then counts as not sent and
    // is flushed, so that it cannot leave later when flow control lets go.
    const auto deadline = TotalDeadline(timeouts_.WriteTotalTimeoutMultiplier,
                                        timeouts_.WriteTotalTimeoutConstant, size);
    int accepted = 0;
    while (accepted < size) {
        const ssize_t r = ::write(fd_, data + accepted, std::size_t(size - accepted));
        if (r > 0) {
            accepted += int(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN)
            return errno;
        if (Passed(deadline))
            break;
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, PollTimeout(deadline)) < 0 && errno != EINTR)
            return errno;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
            return EIO;
    }
    int queued = OutputCount();
    while (queued > 0 && !Passed(deadline)) {
        std::this_thread::sleep_for(milliseconds(1));
        queued = OutputCount();
    }
    if (queued > 0 || accepted < size)
        tcflush(fd_, TCOFLUSH);
    written = std::max(0, accepted - queued);
    if (accepted > 0) {
        txPending_ = true;
        monitorWait_.Kick();
    }
    return 0;
}

int TPosixComDevice::Read(char* data, int size, int& read)
{
    read = 0;
    if (fd_ < 0)
        return EBADF;
    TReadDeadline timer(timeouts_, size);
    int got = 0;
    while (got < size) {
        const ssize_t r = ::read(fd_, data + got, std::size_t(size - got));
        if (r > 0) {
            got += int(r);
            bytesRead_ += std::uint64_t(r);
            if (timer.FirstByteOnly())
                break;
            timer.Received();
            continue;
        }
        if (r == 0)
            return EIO; // hung up: the device is gone
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return errno;
        if (timer.Over())
            break;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, PollTimeout(timer.Next())) < 0 && errno != EINTR)
            return errno;
        if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLIN))
            return EIO;
    }

    if (line_.DiscardNull)
        got = int(std::remove(data, data + got, '\0') - data);
    if ((monitorWait_.Mask() & ComEventMask::RxFlag) && std::find(data, data + got, line_.EventChar) != data + got) {
        // Linux cannot see the event character arrive without taking it from the queue, so it is
        // reported once a read has taken it.
        eventCharSeen_ = true;
        monitorWait_.Kick();
    }
    read = got;
    return 0;
}

// --- Status -----------------------------------------------------------------------------------

int TPosixComDevice::InputCount(int& count) const
{
    count = 0;
    if (ioctl(fd_, FIONREAD, &count) != 0)
        return errno;
    return 0;
}

int TPosixComDevice::ClearCommError(TComErrors& errors, int& inputCount)
{
    errors = {};
    if (fd_ < 0)
        return EBADF;
    if (const int error = InputCount(inputCount))
        return error;
    TErrorCounts now;
    if (errorCountsAvailable_ && ReadErrorCounts(fd_, now) == 0) {
        if (now.Frame != cleared_.Frame)
            errors.Include(ceFrame);
        if (now.Parity != cleared_.Parity)
            errors.Include(ceRxParity);
        if (now.Overrun != cleared_.Overrun)
            errors.Include(ceOverrun);
        if (now.Break != cleared_.Break)
            errors.Include(ceBreak);
        if (now.BufferOverrun != cleared_.BufferOverrun)
            errors.Include(ceRxOver);
        cleared_ = now;
    }
    return 0;
}

int TPosixComDevice::GetCommModemStatus(TComSignals& signals)
{
    signals = {};
    if (fd_ < 0)
        return EBADF;
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0)
        return NotSupported(errno) ? 0 : errno;
    if (lines & TIOCM_CTS)
        signals.Include(csCTS);
    if (lines & TIOCM_DSR)
        signals.Include(csDSR);
    if (lines & TIOCM_RI)
        signals.Include(csRing);
    if (lines & TIOCM_CD)
        signals.Include(csRLSD);
    return 0;
}

int TPosixComDevice::PurgeComm(unsigned flags)
{
    if (fd_ < 0 || fcntl(fd_, F_GETFD) < 0)
        return EBADF;
    // Reads and writes here are calls that have returned by the time anyone can purge, so there
    // is no outstanding transfer to abort; clearing acts on the kernel's queues.
    const bool tx = flags & PurgeFlag::TxClear;
    const bool rx = flags & PurgeFlag::RxClear;
    if ((tx || rx) && tcflush(fd_, tx && rx ? TCIOFLUSH : tx ? TCOFLUSH : TCIFLUSH) != 0)
        return errno;
    return 0;
}

// --- Device loss ------------------------------------------------------------------------------

bool TPosixComDevice::IsDeviceGone(int error) const
{
    // A pulled-out adapter hangs its tty up: reads then end (0 bytes, reported as EIO), and every
    // write and ioctl fails with EIO. ENXIO and ENODEV come from a device node whose driver left.
    return error == EIO || error == ENXIO || error == ENODEV;
}

int TPosixComDevice::CheckPresent()
{
    if (fd_ < 0)
        return EBADF;
    pollfd p{fd_, 0, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return EIO;
    int waiting = 0;
    return InputCount(waiting);
}

// --- Events -----------------------------------------------------------------------------------

int TPosixComDevice::SetCommMask(std::uint32_t mask)
{
    if (fd_ < 0)
        return EBADF;
    monitorWait_.SetMask(mask);
    return 0;
}

int TPosixComDevice::ReceivedTotal(std::uint64_t& total) const
{
    // Bytes received so far = bytes read + bytes waiting. A read on the main thread between the
    // two looks would count its bytes twice; take both again until no read came between.
    for (;;) {
        const std::uint64_t before = bytesRead_.load();
        int waiting = 0;
        if (const int error = InputCount(waiting))
            return error;
        if (bytesRead_.load() == before) {
            total = before + std::uint64_t(waiting);
            return 0;
        }
    }
}

void TPosixComDevice::Rebaseline(std::uint32_t mask)
{
    // Bytes already waiting count as new: they are reported by the first wait.
    monitor_.Received = bytesRead_.load();
    monitor_.Above80 = false;
    monitor_.ModemLinesAvailable = false;
    if (mask & kModemEvents) {
        int lines = 0;
        monitor_.ModemLinesAvailable = ioctl(fd_, TIOCMGET, &lines) == 0;
        monitor_.ModemLines = lines;
    }
    monitor_.ErrorCountsAvailable = (mask & kCounterEvents) && ReadErrorCounts(fd_, monitor_.Errors) == 0;
}

int TPosixComDevice::DetectEvents(std::uint32_t mask, std::uint32_t& found)
{
    found = 0;
    if (mask & kRxEvents) {
        std::uint64_t received = 0;
        int unread = 0;
        if (const int error = ReceivedTotal(received))
            return error;
        if (const int error = InputCount(unread))
            return error;
        if (received > monitor_.Received && (mask & ComEventMask::RxChar))
            found |= ComEventMask::RxChar;
        monitor_.Received = received;
        const int threshold = (inputSize_ > 0 ? inputSize_ : kKernelInputBuffer) * 8 / 10;
        const bool above = unread >= threshold;
        if (above && !monitor_.Above80 && (mask & ComEventMask::Rx80Full))
            found |= ComEventMask::Rx80Full;
        monitor_.Above80 = above;
    }
    if ((mask & kModemEvents) && monitor_.ModemLinesAvailable) {
        int lines = 0;
        if (ioctl(fd_, TIOCMGET, &lines) != 0) {
            if (!NotSupported(errno))
                return errno;
            monitor_.ModemLinesAvailable = false;
        } else {
            const int changed = lines ^ monitor_.ModemLines;
            if ((changed & TIOCM_CTS) && (mask & ComEventMask::Cts))
                found |= ComEventMask::Cts;
            if ((changed & TIOCM_DSR) && (mask & ComEventMask::Dsr))
                found |= ComEventMask::Dsr;
            if ((changed & TIOCM_CD) && (mask & ComEventMask::Rlsd))
                found |= ComEventMask::Rlsd;
            if ((changed & lines & TIOCM_RI) && (mask & ComEventMask::Ring))
                found |= ComEventMask::Ring;
            monitor_.ModemLines = lines;
        }
    }
    if ((mask & kCounterEvents) && monitor_.ErrorCountsAvailable) {
        TErrorCounts now;
        if (ReadErrorCounts(fd_, now) != 0) {
            monitor_.ErrorCountsAvailable = false;
        } else {
            const TErrorCounts& was = monitor_.Errors;
            if ((now.Frame != was.Frame || now.Parity != was.Parity || now.Overrun != was.Overrun
                 || now.BufferOverrun != was.BufferOverrun)
                && (mask & ComEventMask::Err))
                found |= ComEventMask::Err;
            if (now.Break != was.Break && (mask & ComEventMask::Break))
                found |= ComEventMask::Break;
            monitor_.Errors = now;
        }
    }
    if ((mask & ComEventMask::TxEmpty) && txPending_.load() && OutputCount() == 0
        && txPending_.exchange(false))
        found |= ComEventMask::TxEmpty;
    if ((mask & ComEventMask::RxFlag) && eventCharSeen_.exchange(false))
        found |= ComEventMask::RxFlag;
    return 0;
}

TWaitResult TPosixComDevice::WaitCommEvent(const TStopEvent& stop, std::uint32_t& events, int& error)
{
    events = 0;
    error = 0;
    for (;;) {
        const std::uint32_t mask = monitorWait_.Mask();
        if (monitorWait_.TakeNewMask())
            Rebaseline(mask);

        int unread = 0;
        if ((mask & kRxEvents) && (error = InputCount(unread)) != 0)
            return TWaitResult::Failed;
        // While bytes wait unread, POLLIN would report them again and again: look at the count
        // on the tick instead, and wake on POLLIN only once the queue is empty.
        const bool waitForInput = (mask & kRxEvents) && unread == 0;
        const bool tick = ((mask & kRxEvents) && unread > 0)
            || ((mask & kModemEvents) && monitor_.ModemLinesAvailable)
            || ((mask & kCounterEvents) && monitor_.ErrorCountsAvailable)
            || ((mask & ComEventMask::TxEmpty) && txPending_.load());

        // The device is always in the set: a hang-up (an adapter pulled out) shows as POLLHUP or
        // POLLERR even when no event is asked for.
        pollfd device{fd_, short(waitForInput ? POLLIN : 0), 0};
        if (const auto end = monitorWait_.Wait(stop, device, tick ? kLineTickMs : -1, error))
            return *end;
        // A device that went away makes every later poll return at once: that ends the wait
        // instead of spinning.
        if (device.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            error = EIO;
            return TWaitResult::Failed;
        }
        if ((error = DetectEvents(mask, events)) != 0)
            return TWaitResult::Failed;
        if (events)
            return TWaitResult::Events;
    }
}
