// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetComDevice.h"

#include "ComTimeouts.h"
#include "GnuGettext.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/sockios.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the monitor looks again while decoded bytes wait unread or a write waits for its
// acknowledgement.
constexpr int kTickMs = 10;
// What the input queue holds before the socket is left unread (TCP then holds the server back).
constexpr std::size_t kInputLimit = 64 * 1024;
// A silent dead peer is noticed within half a minute: idle by keepalive (10 s, then 3 probes
// 5 s apart), while data waits for its acknowledgement by the user time-out.
constexpr int kKeepIdleS = 10, kKeepIntervalS = 5, kKeepCount = 3, kUserTimeoutMs = 25000;

std::atomic<int> gCancel{-1};

enum class TWaited { Ready, TimedOut, Cancelled };

// Waits for the descriptor, the deadline, or the open's cancel handle.
TWaited WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const int timeout = PollTimeout(deadline);
        if (timeout == 0)
            return TWaited::TimedOut;
        pollfd p[2] = {{fd, events, 0}, {gCancel.load(), POLLIN, 0}};
        if (poll(p, 2, timeout) < 0 && errno != EINTR)
            return TWaited::TimedOut;
        if (p[1].revents)
            return TWaited::Cancelled;
        if (p[0].revents)
            return TWaited::Ready;
    }
}

// A name lookup on a thread of its own: getaddrinfo() cannot be given a deadline or be stopped.
// An open that stops waiting leaves the thread to finish alone; the shared state outlives both.
struct TLookup {
    int Done = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::atomic<bool> Finished{false};
    int Result = 0;
    int SystemError = 0;
    addrinfo* List = nullptr;
    ~TLookup()
    {
        if (List)
            freeaddrinfo(List);
        if (Done >= 0)
            ::close(Done);
    }
};

int Resolve(const TNetAddress& address, Clock::time_point deadline, std::shared_ptr<TLookup>& lookup, QString& detail)
{
    lookup = std::make_shared<TLookup>();
    if (lookup->Done < 0)
        return errno;
    std::thread([lookup, host = address.Host.toStdString(), service = std::to_string(address.Port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        lookup->Result = getaddrinfo(host.c_str(), service.c_str(), &hints, &lookup->List);
        lookup->SystemError = errno;
        lookup->Finished.store(true, std::memory_order_release);
        const std::uint64_t one = 1;
        (void)!::write(lookup->Done, &one, sizeof one);
    }).detach();
    switch (WaitFor(lookup->Done, POLLIN, deadline)) {
    case TWaited::TimedOut:
        detail = TranslateText(QStringLiteral("the name of the host could not be looked up in time"));
        return ETIMEDOUT;
    case TWaited::Cancelled:
        return EINTR;
    case TWaited::Ready:
        break;
    }
    if (!lookup->Finished.load(std::memory_order_acquire))
        return EINTR;
    if (lookup->Result == EAI_SYSTEM)
        return lookup->SystemError ? lookup->SystemError : EIO;
    if (lookup->Result != 0) {
        detail = TranslateText(QStringLiteral("unknown host %1")).arg(address.Host);
        return ENOENT;
    }
    return 0;
}

void SetOptions(int fd)
{
    const auto set = [fd](int level, int option, int value) { (void)setsockopt(fd, level, option, &value, sizeof value); };
    // Each byte its own segment at once: the pauses between bytes hold where they reach the
    // interface.
    set(IPPROTO_TCP, TCP_NODELAY, 1);
    set(SOL_SOCKET, SO_KEEPALIVE, 1);
    set(IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleS);
    set(IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalS);
    set(IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
    set(IPPROTO_TCP, TCP_USER_TIMEOUT, kUserTimeoutMs);
}

// The first address of the host that takes the connection.
int Connect(const TNetAddress& address, int& connected, QString& detail)
{
    const auto deadline = Clock::now() + TNetComDevice::ConnectTime;
    std::shared_ptr<TLookup> lookup;
    if (const int error = Resolve(address, deadline, lookup, detail))
        return error;
    int last = EHOSTUNREACH;
    for (const addrinfo* a = lookup->List; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            last = errno;
            continue;
        }
        int error = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            switch (WaitFor(fd, POLLOUT, deadline)) {
            case TWaited::TimedOut:
                ::close(fd);
                return ETIMEDOUT;
            case TWaited::Cancelled:
                ::close(fd);
                return EINTR;
            case TWaited::Ready: {
                socklen_t size = sizeof error;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                    error = errno;
                break;
            }
            }
        }
        if (error == 0) {
            SetOptions(fd);
            connected = fd;
            return 0;
        }
        ::close(fd);
        last = error;
    }
    return last;
}

} // namespace

void SetOpenCancelHandle(int fd)
{
    gCancel = fd;
}

bool OpenCancelRequested()
{
    pollfd p{gCancel.load(), POLLIN, 0};
    return p.fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

// --- Opening and closing ----------------------------------------------------------------------

TNetComDevice::~TNetComDevice()
{
    Close();
}

int TNetComDevice::Open(const QString& portName)
{
    errorDetail_.clear();
    if (fd_ >= 0)
        return EBUSY;
    const std::optional<TNetAddress> address = ParseNetworkPortName(portName);
    if (!address) {
        errorDetail_ = TranslateText(QStringLiteral("not a network port name of the form SCHEME://HOST:PORT"));
        return EINVAL;
    }
    int fd = -1;
    if (const int error = Connect(*address, fd, errorDetail_))
        return error;
    if (const int error = monitorWait_.Open()) {
        ::close(fd);
        return error;
    }
    scheme_ = address->Scheme;
    fd_ = fd;
    input_.clear();
    lines_ = {};
    telnet_ = {};
    replies_.clear();
    gatherer_.Clear();
    failed_ = 0;
    sentError_ = false;
    sentAnswers_ = 0;
    awaitSent_ = true;
    modemState_ = 0;
    txPending_ = false;
    settingsApplied_ = false;
    if (scheme_ != TNetScheme::Rfc2217)
        return 0;

    // The server must take the COM port option; one that refuses it, or does not speak Telnet
    // at all and so never answers, is not an RFC 2217 server.
    const auto fail = [this](int error) {
        Close();
        return error;
    };
    const auto deadline = Clock::now() + AnswerTime;
    if (const int error = Send(Telnet::TReader::Greeting(), deadline))
        return fail(error);
    for (;;) {
        if (const int error = Pump())
            return fail(error);
        Telnet::TReader::TComPortState state;
        {
            std::lock_guard lock(mutex_);
            state = telnet_.ComPort();
        }
        if (state == Telnet::TReader::TComPortState::Accepted)
            break;
        if (state == Telnet::TReader::TComPortState::Refused || WaitFor(fd_, POLLIN, deadline) != TWaited::Ready) {
            errorDetail_ = TranslateText(QStringLiteral("use tcp:// for a server without RFC 2217"));
            return fail(EPROTONOSUPPORT);
        }
    }
    // Changes of the modem lines are reported as they happen (the CTS lamp follows them).
    if (const int error = Send(Telnet::ComPortCommand(Telnet::ComPort::SetModemStateMask, {0xFF}), deadline))
        return fail(error);
    return 0;
}

void TNetComDevice::Close()
{
    if (fd_ < 0)
        return;
    // Closing with unread input would reset the connection, and a reset may make the server
    // drop what was written last: end the sending side first, and take what is left.
    ::shutdown(fd_, SHUT_WR);
    char sink[4096];
    while (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
    ::close(fd_);
    monitorWait_.Close();
    fd_ = -1;
}

// --- Settings ---------------------------------------------------------------------------------

int TNetComDevice::SetupComm(int, int)
{
    return fd_ < 0 ? EBADF : 0;
}

int TNetComDevice::SetCommTimeouts(const TCommTimeouts& timeouts)
{
    if (fd_ < 0)
        return EBADF;
    timeouts_ = timeouts;
    return 0;
}

int TNetComDevice::AwaitAnswer(milliseconds time, const std::function<bool()>& arrived)
{
    const auto deadline = Clock::now() + time;
    for (;;) {
        const int error = Pump();
        {
            std::lock_guard lock(mutex_);
            if (arrived())
                return 0;
        }
        if (error)
            return error;
        if (Clock::now() >= deadline)
            return ETIMEDOUT;
        // The monitor may take the answer off the socket: look again soon either way.
        WaitFor(fd_, POLLIN, std::min(deadline, Clock::now() + milliseconds(kTickMs)));
    }
}

int TNetComDevice::AwaitReply(std::uint8_t command, unsigned after, std::vector<std::uint8_t>& value)
{
    const int error = AwaitAnswer(AnswerTime, [&] {
        const auto it = replies_.find(std::uint8_t(command + Telnet::ComPort::ServerOffset));
        if (it == replies_.end() || it->second.first <= after)
            return false;
        value = it->second.second;
        return true;
    });
    if (error == ETIMEDOUT && !failed_.load())
        errorDetail_ = TranslateText(QStringLiteral("the server did not answer"));
    return error;
}

int TNetComDevice::SendMessage(const std::vector<std::uint8_t>& message, Clock::time_point deadline)
{
    unsigned after;
    {
        std::lock_guard lock(mutex_);
        after = sentAnswers_;
    }
    if (const int error = Send(LbServer::MessageLine("SEND", message), deadline))
        return error;
    // The server answers each message once it is on the bus, or could not be put there: waiting
    // for that answer makes a message the server could not send fail its own write, the last of
    // a pass too. A server that let the time pass without an answer is not waited for again
    // (its late answers still fail the next write).
    if (!awaitSent_)
        return 0;
    const int error = AwaitAnswer(SentAnswerTime, [&] { return sentAnswers_ > after; });
    if (error == ETIMEDOUT && !failed_.load()) {
        awaitSent_ = true;
        return 0;
    }
    if (error)
        return error;
    if (sentError_.exchange(false)) {
        errorDetail_ = TranslateText(QStringLiteral("the LocoNet server could not send a message"));
        return ECOMM;
    }
    return 0;
}

int TNetComDevice::SendComPortCommand(std::uint8_t command, std::uint8_t value, std::uint8_t& answer)
{
    unsigned after;
    {
        std::lock_guard lock(mutex_);
        after = replyCount_;
    }
    if (const int error = Send(Telnet::ComPortCommand(command, {value}), Clock::now() + AnswerTime))
        return error;
    std::vector<std::uint8_t> reply;
    if (const int error = AwaitReply(command, after, reply))
        return error;
    answer = reply.empty() ? 0 : reply[0];
    return 0;
}

int TNetComDevice::SendBaudRate(std::uint32_t rate, std::uint32_t& answer)
{
    unsigned after;
    {
        std::lock_guard lock(mutex_);
        after = replyCount_;
    }
    const std::vector<std::uint8_t> value{std::uint8_t(rate >> 24), std::uint8_t(rate >> 16), std::uint8_t(rate >> 8),
                                          std::uint8_t(rate)};
    if (const int error = Send(Telnet::ComPortCommand(Telnet::ComPort::SetBaudRate, value), Clock::now() + AnswerTime))
        return error;
    std::vector<std::uint8_t> reply;
    if (const int error = AwaitReply(Telnet::ComPort::SetBaudRate, after, reply))
        return error;
    answer = 0;
    for (std::size_t i = 0; i < 4 && i < reply.size(); ++i)
        answer = answer << 8 | reply[i];
    return 0;
}

int TNetComDevice::SetLineSettings(const TLineSettings& settings)
{
    errorDetail_.clear();
    if (fd_ < 0)
        return EBADF;
    // A raw server and a LoconetOverTcp server keep their own line settings.
    if (scheme_ != TNetScheme::Rfc2217)
        return 0;
    const auto refused = [this](const QString& what, std::uint32_t asked, std::uint32_t answered) {
        errorDetail_ = TranslateText(QStringLiteral("the server set %1 %2 instead of %3"))
                           .arg(what)
                           .arg(answered)
                           .arg(asked);
        return EINVAL;
    };
    const TLineSettings& was = applied_;
    const bool all = !settingsApplied_;
    if (all || settings.BaudRate != was.BaudRate) {
        std::uint32_t answer = 0;
        if (const int error = SendBaudRate(settings.BaudRate, answer))
            return error;
        if (answer != settings.BaudRate)
            return refused(TranslateText(QStringLiteral("rate")), settings.BaudRate, answer);
    }
    struct TByteSetting {
        std::uint8_t Command;
        std::uint8_t Value;
        std::uint8_t Was;
        const char* What;
    };
    const auto stopSize = [](TStopBits s) { return std::uint8_t(s == sbOneStopBit ? 1 : s == sbTwoStopBits ? 2 : 3); };
    const auto control = [](const TLineSettings& s) {
        if (s.OutCTSFlow || s.RTSControl == rtsHandshake)
            return std::uint8_t(3);
        return std::uint8_t(s.XonXoffOut || s.XonXoffIn ? 2 : 1);
    };
    const TByteSetting bytes[] = {
        {Telnet::ComPort::SetDataSize, std::uint8_t(settings.DataBits), std::uint8_t(was.DataBits), "data size"},
        {Telnet::ComPort::SetParity, std::uint8_t(settings.Parity + 1), std::uint8_t(was.Parity + 1), "parity"},
        {Telnet::ComPort::SetStopSize, stopSize(settings.StopBits), stopSize(was.StopBits), "stop size"},
        {Telnet::ComPort::SetControl, control(settings), control(was), "flow control"},
    };
    for (const TByteSetting& b : bytes) {
        if (!all && b.Value == b.Was)
            continue;
        std::uint8_t answer = 0;
        if (const int error = SendComPortCommand(b.Command, b.Value, answer))
            return error;
        if (answer != b.Value)
            return refused(TranslateText(QString::fromLatin1(b.What)), b.Value, answer);
    }
    applied_ = settings;
    settingsApplied_ = true;
    return 0;
}

// --- Transfers --------------------------------------------------------------------------------

void TNetComDevice::Fail(int error)
{
    int none = 0;
    failed_.compare_exchange_strong(none, error);
}

int TNetComDevice::Send(const std::string& bytes, Clock::time_point deadline)
{
    std::lock_guard lock(sendMutex_);
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (const int error = failed_.load())
            return error;
        const ssize_t r = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r > 0) {
            sent += std::size_t(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // A closed connection fails the send with EPIPE (no SIGPIPE: MSG_NOSIGNAL); it is the
            // same loss as a reset.
            Fail(errno == EPIPE ? ECONNRESET : errno);
            return failed_.load();
        }
        pollfd p{fd_, POLLOUT, 0};
        const int timeout = PollTimeout(deadline);
        if (timeout == 0)
            return ETIMEDOUT;
        if (poll(&p, 1, timeout) < 0 && errno != EINTR)
            return errno;
    }
    return 0;
}

int TNetComDevice::Write(const char* data, int size, int& written)
{
    written = 0;
    errorDetail_.clear();
    if (fd_ < 0)
        return EBADF;
    if (const int error = failed_.load())
        return error;
    const auto total = TotalDeadline(timeouts_.WriteTotalTimeoutMultiplier, timeouts_.WriteTotalTimeoutConstant, size);
    const auto deadline = total.value_or(Clock::time_point::max());
    int error = 0;
    switch (scheme_) {
    case TNetScheme::Tcp:
        error = Send(std::string(data, std::size_t(size)), deadline);
        break;
    case TNetScheme::Rfc2217:
        error = Send(Telnet::Escape(data, std::size_t(size)), deadline);
        break;
    case TNetScheme::LbServer:
        // The server could not put an earlier message on the bus, and said so too late for that
        // message's write: this write fails in its place (the connection stays).
        if (const int failure = Pump())
            return failure;
        if (sentError_.exchange(false)) {
            errorDetail_ = TranslateText(QStringLiteral("the LocoNet server could not send a message"));
            return ECOMM;
        }
        for (int i = 0; i < size && error == 0; ++i) {
            std::vector<std::uint8_t> message;
            bool complete;
            {
                std::lock_guard lock(sendMutex_);
                complete = gatherer_.Add(std::uint8_t(data[i]), message);
            }
            if (complete)
                error = SendMessage(message, deadline);
        }
        break;
    }
    if (error == ETIMEDOUT && !failed_.load())
        return 0; // the time-out passed: nothing counts as written
    if (error)
        return error;
    written = size;
    txPending_ = true;
    monitorWait_.Kick();
    return 0;
}

int TNetComDevice::PumpLocked(std::string& answers)
{
    char buffer[4096];
    while (input_.size() < kInputLimit && failed_.load() == 0) {
        const ssize_t r = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (r == 0) {
            Fail(ECONNRESET); // the server closed the connection
            break;
        }
        if (r < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                Fail(errno);
            break;
        }
        const std::size_t before = input_.size();
        switch (scheme_) {
        case TNetScheme::Tcp:
            input_.append(buffer, std::size_t(r));
            break;
        case TNetScheme::LbServer: {
            std::vector<LbServer::TLine> lines;
            lines_.Feed(buffer, std::size_t(r), lines);
            for (const LbServer::TLine& line : lines) {
                if (line.Kind == LbServer::TLine::Receive)
                    input_.append(reinterpret_cast<const char*>(line.Bytes.data()), line.Bytes.size());
                else if (line.Kind == LbServer::TLine::SentOk || line.Kind == LbServer::TLine::SentError) {
                    sentError_ = sentError_ || line.Kind == LbServer::TLine::SentError;
                    ++sentAnswers_;
                }
                // Everything else (the server's name, lines we have no use for, malformed ones)
                // is ignored: a broken line loses at most one message, as noise on a serial line
                // does, and the receive side copes with that.
            }
            break;
        }
        case TNetScheme::Rfc2217: {
            std::vector<Telnet::TComPortReply> replies;
            telnet_.Feed(reinterpret_cast<const std::uint8_t*>(buffer), std::size_t(r), input_, answers, replies);
            for (const Telnet::TComPortReply& reply : replies) {
                if (reply.Command == Telnet::ComPort::NotifyModemState + Telnet::ComPort::ServerOffset) {
                    if (!reply.Value.empty())
                        modemState_ = reply.Value[0];
                } else {
                    replies_[reply.Command] = {++replyCount_, reply.Value};
                }
            }
            break;
        }
        }
        received_ += input_.size() - before;
    }
    return failed_.load();
}

int TNetComDevice::Pump()
{
    std::string answers;
    int error;
    const std::uint64_t before = received_.load();
    {
        std::lock_guard lock(mutex_);
        error = PumpLocked(answers);
    }
    if (!answers.empty() && error == 0)
        error = Send(answers, Clock::now() + AnswerTime);
    // The monitor may be waiting on the socket this call emptied: it is told that bytes came.
    if (received_.load() != before)
        monitorWait_.Kick();
    return error;
}

int TNetComDevice::Read(char* data, int size, int& read)
{
    read = 0;
    if (fd_ < 0)
        return EBADF;
    TReadDeadline timer(timeouts_, size);
    int got = 0;
    while (got < size) {
        const int error = Pump();
        std::size_t taken;
        {
            std::lock_guard lock(mutex_);
            taken = std::min(std::size_t(size - got), input_.size());
            std::memcpy(data + got, input_.data(), taken);
            input_.erase(0, taken);
        }
        if (taken > 0) {
            got += int(taken);
            if (timer.FirstByteOnly())
                break;
            timer.Received();
            continue;
        }
        if (error) {
            if (got > 0)
                break;
            return error;
        }
        if (timer.Over())
            break;
        const auto deadline = timer.Next();
        // The monitor may take bytes off the socket meanwhile: look at the queue again soon.
        const auto soon = Clock::now() + milliseconds(kTickMs);
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, PollTimeout(deadline ? std::min(*deadline, soon) : soon)) < 0 && errno != EINTR)
            return errno;
    }
    read = got;
    return 0;
}

// --- Status -----------------------------------------------------------------------------------

int TNetComDevice::ClearCommError(TComErrors& errors, int& inputCount)
{
    errors = {};
    inputCount = 0;
    if (fd_ < 0)
        return EBADF;
    const int error = Pump();
    std::lock_guard lock(mutex_);
    inputCount = int(input_.size());
    return inputCount == 0 ? error : 0;
}

int TNetComDevice::OutputCount(int& count)
{
    count = 0;
    if (fd_ < 0)
        return EBADF;
    if (const int error = failed_.load())
        return error;
    return ioctl(fd_, SIOCOUTQ, &count) == 0 ? 0 : errno;
}

int TNetComDevice::GetCommModemStatus(TComSignals& signals)
{
    signals = {};
    if (fd_ < 0)
        return EBADF;
    // Only an RFC 2217 server reports modem lines; the others have none to show.
    const std::uint8_t state = modemState_.load();
    if (state & Telnet::ComPort::Cts)
        signals.Include(csCTS);
    if (state & Telnet::ComPort::Dsr)
        signals.Include(csDSR);
    if (state & Telnet::ComPort::Ring)
        signals.Include(csRing);
    if (state & Telnet::ComPort::Dcd)
        signals.Include(csRLSD);
    return 0;
}

int TNetComDevice::PurgeComm(unsigned flags)
{
    if (fd_ < 0)
        return EBADF;
    const bool tx = flags & PurgeFlag::TxClear;
    const bool rx = flags & PurgeFlag::RxClear;
    if (rx) {
        std::lock_guard lock(mutex_);
        input_.clear();
    }
    if (tx) {
        std::lock_guard lock(sendMutex_);
        gatherer_.Clear();
    }
    // The server's queues: 1 what it received from the line, 2 what it has still to send on it.
    if (scheme_ == TNetScheme::Rfc2217 && (tx || rx) && failed_.load() == 0) {
        const std::uint8_t which = tx && rx ? 3 : rx ? 1 : 2;
        (void)Send(Telnet::ComPortCommand(Telnet::ComPort::PurgeData, {which}), Clock::now() + AnswerTime);
    }
    return 0;
}

// --- Connection loss --------------------------------------------------------------------------

bool TNetComDevice::IsDeviceGone(int error) const
{
    // The connection is lost (server stopped, reset, network gone, peer silent too long). A
    // message the server could not send (ECOMM) fails one write; the connection stays.
    switch (error) {
    case EIO:
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ETIMEDOUT:
    case ENOTCONN:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
        return true;
    default:
        return false;
    }
}

int TNetComDevice::CheckPresent()
{
    if (fd_ < 0)
        return EBADF;
    return Pump();
}

// --- Events -----------------------------------------------------------------------------------

int TNetComDevice::SetCommMask(std::uint32_t mask)
{
    if (fd_ < 0)
        return EBADF;
    monitorWait_.SetMask(mask);
    return 0;
}

TWaitResult TNetComDevice::WaitCommEvent(const TStopEvent& stop, std::uint32_t& events, int& error)
{
    events = 0;
    error = 0;
    for (;;) {
        const std::uint32_t mask = monitorWait_.Mask();
        if (monitorWait_.TakeNewMask()) {
            // Bytes already waiting count as new: the first wait reports them.
            std::lock_guard lock(mutex_);
            seenReceived_ = received_.load() - input_.size();
            seenModem_ = modemState_.load();
        }
        const int failure = Pump();

        std::uint32_t found = 0;
        const std::uint64_t received = received_.load();
        if (received > seenReceived_ && (mask & ComEventMask::RxChar))
            found |= ComEventMask::RxChar;
        seenReceived_ = received;
        const std::uint8_t modem = modemState_.load();
        const std::uint8_t changed = modem ^ seenModem_;
        if ((changed & Telnet::ComPort::Cts) && (mask & ComEventMask::Cts))
            found |= ComEventMask::Cts;
        if ((changed & Telnet::ComPort::Dsr) && (mask & ComEventMask::Dsr))
            found |= ComEventMask::Dsr;
        if ((changed & Telnet::ComPort::Dcd) && (mask & ComEventMask::Rlsd))
            found |= ComEventMask::Rlsd;
        if ((changed & modem & Telnet::ComPort::Ring) && (mask & ComEventMask::Ring))
            found |= ComEventMask::Ring;
        seenModem_ = modem;
        bool unacknowledged = false;
        if (txPending_.load()) {
            int queued = 0;
            unacknowledged = ioctl(fd_, SIOCOUTQ, &queued) == 0 && queued > 0;
            if (!unacknowledged && txPending_.exchange(false) && (mask & ComEventMask::TxEmpty))
                found |= ComEventMask::TxEmpty;
        }
        if (found) {
            events = found;
            return TWaitResult::Events;
        }
        if (failure) {
            error = failure;
            return TWaitResult::Failed;
        }

        bool full;
        {
            std::lock_guard lock(mutex_);
            full = input_.size() >= kInputLimit;
        }
        // A full queue leaves the socket unread until the port reads: it is looked at on the tick.
        pollfd connection{full ? -1 : fd_, POLLIN, 0};
        if (const auto end = monitorWait_.Wait(stop, connection, full || unacknowledged ? kTickMs : -1, error))
            return *end;
        // A hang-up or error shows in the next look (the read ends or fails); a socket that says
        // so without either is lost all the same, rather than polled again at once.
        if ((connection.revents & (POLLHUP | POLLERR)) && Pump() == 0 && !(connection.revents & POLLIN)) {
            int socketError = 0;
            socklen_t size = sizeof socketError;
            getsockopt(fd_, SOL_SOCKET, SO_ERROR, &socketError, &size);
            Fail(socketError ? socketError : ECONNRESET);
        }
    }
}
