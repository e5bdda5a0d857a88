// SPDX-License-Identifier: GPL-3.0-or-later
// loconet-sim: a serial LocoNet interface with a command station and a feedback module behind
// it, on a pseudo-terminal. Point the configurator at the path it prints.

#include "LbServerProtocol.h"
#include "LocoNetSimulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char* const kUsage = R"(Usage: loconet-sim [options]

Opens a pseudo-terminal that behaves as a serial LocoNet interface (19200 baud), with a command
station and a Sentrax-like feedback module behind it, prints the terminal's path, and serves it
until stopped (Ctrl-C). Point the configurator at that path, for instance with
SENTRAX_EXTRA_PORTS=<path>.

The interface echoes every well-formed message it puts on the bus and drops broken frames and
bad checksums. The command station answers slot requests (BB), address requests (BF) and slot
claims (BA s s) with slot data, and refuses other moves (B4 3A 00). The feedback module takes the
first switch-request pair after a version's start messages as its first contact, the next pair as
its number of contacts, then reports its contacts (B2) and answers addresses 1017-1020.

Options:
  --link PATH            also make PATH a symbolic link to the terminal (removed on exit)
  --log FILE             write every byte, both ways, with a monotonic time stamp:
                         "<seconds> rx|tx <hex>" (rx: from the PC); on SIGUSR1 it reads
                         all the PC has sent so far, then writes "<seconds> sync"
  --no-station           no command station: only echoes come back
  --busy                 the station sends "busy" (81 7E) before each reply
  --report-interval MS   a contact of the programmed module changes every MS ms (default
                         2000; 0: never)
  --burst N              after the PC's first message, send N input reports back to back
  --noise N              after the PC's first message, send N random bytes
  --hangup-after MS      hang up (as a pulled-out adapter) MS ms after the PC's first byte
  --hangup-at-byte N     hang up right after the PC's Nth byte
  --rate N               bytes a second sent to the PC (default 1920, the 19200-baud line;
                         0: as fast as the terminal takes them)
  --lbserver PORT        be a LoconetOverTcp server on 127.0.0.1:PORT instead: every client
                         sends its messages as "SEND" lines and sees every message on the bus
                         as a "RECEIVE" line, its own included (the terminal is still made, and
                         still read, but nothing is sent to it)
  --seed N               seed of the random choices (default 1)
  --quiet                do not print what happens
  --help                 show this text
)";

volatile sig_atomic_t gStop = 0;

void Stop(int)
{
    gStop = 1;
}

volatile sig_atomic_t gSync = 0;

void Sync(int)
{
    gSync = 1;
}

struct TOptions {
    std::string Link;
    std::string Log;
    TLocoNetSimulator::TOptions Simulator;
    int ReportIntervalMs = 2000;
    int Burst = 0;
    int Noise = 0;
    int HangupAfterMs = -1;
    int HangupAtByte = -1;
    int Rate = 1920;
    int LbServerPort = -1;
    bool Quiet = false;
};

// A client of the LoconetOverTcp server.
struct TClient {
    int Fd = -1;
    LbServer::TLineReader Reader;
    std::string Out; // what it has yet to be sent
    bool Closed = false;
};

int Listen(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0)
        return -1;
    return fd;
}

std::optional<TOptions> Parse(int argc, char** argv)
{
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        const auto number = [&](int& target) {
            const auto v = value();
            if (!v)
                return false;
            char* end = nullptr;
            const long n = std::strtol(v->c_str(), &end, 10);
            if (*end || n < 0 || n > 100000000)
                return false;
            target = int(n);
            return true;
        };
        int seed = 0;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--link" || a == "--log") {
            const auto v = value();
            if (!v)
                return std::nullopt;
            (a == "--link" ? o.Link : o.Log) = *v;
        } else if (a == "--no-station") {
            o.Simulator.Station = false;
        } else if (a == "--busy") {
            o.Simulator.Busy = true;
        } else if (a == "--quiet") {
            o.Quiet = true;
        } else if ((a == "--report-interval" && number(o.ReportIntervalMs)) || (a == "--burst" && number(o.Burst))
                   || (a == "--noise" && number(o.Noise)) || (a == "--hangup-after" && number(o.HangupAfterMs))
                   || (a == "--hangup-at-byte" && number(o.HangupAtByte))
                   || (a == "--rate" && number(o.Rate)) || (a == "--lbserver" && number(o.LbServerPort))) {
        } else if (a == "--seed" && number(seed)) {
            o.Simulator.Seed = std::uint32_t(seed);
        } else {
            std::fprintf(stderr, "loconet-sim: bad option or value: %s\n", a.c_str());
            return std::nullopt;
        }
    }
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    const auto parsed = Parse(argc, argv);
    if (!parsed) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const TOptions& options = *parsed;
    setvbuf(stdout, nullptr, _IOLBF, 0);

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("loconet-sim: no pseudo-terminal");
        return 1;
    }
    const std::string slavePath = ptsname(master);
    // Holding the terminal open keeps it alive between the configurator's opens (the master
    // would otherwise report a hang-up each time the port is closed), and raw from the start.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slave < 0 || tcgetattr(slave, &raw) != 0) {
        std::perror("loconet-sim: cannot hold the terminal");
        return 1;
    }
    cfmakeraw(&raw);
    cfsetspeed(&raw, B19200);
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    // Listening before the link appears: whoever waits for the link can connect at once.
    int listener = -1;
    if (options.LbServerPort >= 0 && (listener = Listen(options.LbServerPort)) < 0) {
        std::perror("loconet-sim: cannot listen");
        return 1;
    }
    if (!options.Link.empty()) {
        unlink(options.Link.c_str());
        if (symlink(slavePath.c_str(), options.Link.c_str()) != 0) {
            std::perror("loconet-sim: cannot make the link");
            return 1;
        }
    }
    FILE* log = options.Log.empty() ? nullptr : std::fopen(options.Log.c_str(), "w");
    if (!options.Log.empty() && !log) {
        std::perror("loconet-sim: cannot write the log");
        return 1;
    }
    std::printf("%s\n", slavePath.c_str());

    struct sigaction action {};
    action.sa_handler = Stop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction sync {};
    sync.sa_handler = Sync;
    sigaction(SIGUSR1, &sync, nullptr);
    signal(SIGPIPE, SIG_IGN);

    TLocoNetSimulator simulator(options.Simulator);
    std::mt19937 random(options.Simulator.Seed);
    const auto start = Clock::now();
    const auto stamp = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    const auto report = [&] {
        for (const std::string& line : simulator.TakeReport())
            if (!options.Quiet)
                std::printf("%9.3f  %s\n", stamp(), line.c_str());
    };

    // What goes back to the PC leaves at the line's pace: 1920 bytes a second at 19200 baud.
    std::deque<std::uint8_t> outgoing;
    const auto byteTime = options.Rate > 0
        ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / options.Rate))
        : Clock::duration::zero();
    auto lineFree = Clock::now();
    std::vector<TClient> clients;
    LbServer::TMessageGatherer onBus;
    // On the bus: to the terminal at the line's pace, or as RECEIVE lines to every client.
    const auto queue = [&](const TLocoNetSimulator::TBytes& bytes) {
        if (listener < 0) {
            outgoing.insert(outgoing.end(), bytes.begin(), bytes.end());
            return;
        }
        for (std::uint8_t b : bytes) {
            if (log)
                std::fprintf(log, "%.6f tx %02X\n", stamp(), b);
            std::vector<std::uint8_t> message;
            if (onBus.Add(b, message))
                for (TClient& client : clients)
                    client.Out += LbServer::MessageLine("RECEIVE", message);
        }
    };

    std::optional<Clock::time_point> firstByte;
    bool extrasSent = false;
    const auto never = Clock::time_point::max();
    auto nextChange = options.ReportIntervalMs > 0 ? Clock::now() + milliseconds(options.ReportIntervalMs) : never;
    int exitCode = 0;

    long long bytesReceived = 0;
    while (!gStop) {
        const auto now = Clock::now();
        if ((firstByte && options.HangupAfterMs >= 0 && now >= *firstByte + milliseconds(options.HangupAfterMs))
            || (options.HangupAtByte >= 0 && bytesReceived >= options.HangupAtByte)) {
            // As a pulled-out USB adapter: the terminal is hung up, so every file open on it fails
            // from now on (reads end, writes and ioctls give EIO). That takes privileges; without
            // them, closing the master below is what the configurator sees.
            (void)ioctl(slave, TIOCVHANGUP);
            if (!options.Quiet)
                std::printf("%9.3f  hung up\n", stamp());
            break;
        }
        // Send what the line allows by now (everything, unpaced), as the terminal takes it.
        bool blocked = false;
        while (!outgoing.empty() && lineFree <= now) {
            std::uint8_t chunk[4096];
            const std::size_t n = byteTime == Clock::duration::zero() ? std::min(outgoing.size(), sizeof chunk) : 1;
            std::copy_n(outgoing.begin(), n, chunk);
            const ssize_t written = write(master, chunk, n);
            if (written <= 0) {
                blocked = true; // the terminal's buffer is full until the configurator reads
                break;
            }
            for (ssize_t i = 0; i < written && log; ++i)
                std::fprintf(log, "%.6f tx %02X\n", stamp(), chunk[i]);
            outgoing.erase(outgoing.begin(), outgoing.begin() + written);
            lineFree = std::max(lineFree, now - milliseconds(2)) + written * byteTime;
        }
        if (log)
            std::fflush(log);
        if (now >= nextChange) {
            queue(simulator.ChangeContact());
            nextChange = now + milliseconds(options.ReportIntervalMs);
        }

        auto wake = nextChange;
        if (!outgoing.empty() && !blocked)
            wake = std::min(wake, lineFree);
        if (firstByte && options.HangupAfterMs >= 0)
            wake = std::min(wake, *firstByte + milliseconds(options.HangupAfterMs));
        const long long wait = wake == never ? 1000 : std::chrono::ceil<milliseconds>(wake - Clock::now()).count();
        std::vector<pollfd> fds{{master, short(POLLIN | (blocked ? POLLOUT : 0)), 0}, {listener, POLLIN, 0}};
        for (const TClient& client : clients)
            fds.push_back({client.Fd, short(POLLIN | (client.Out.empty() ? 0 : POLLOUT)), 0});
        const int ready = poll(fds.data(), nfds_t(fds.size()), int(std::clamp<long long>(wait, 0, 1000)));
        if (ready < 0 && errno != EINTR) {
            std::perror("loconet-sim: poll");
            exitCode = 1;
            break;
        }
        if (ready > 0 && listener >= 0) {
            if (fds[1].revents & POLLIN) {
                const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd >= 0) {
                    clients.push_back({fd, {}, "VERSION loconet-sim\r\n"});
                    if (!options.Quiet)
                        std::printf("%9.3f  client %d connected\n", stamp(), fd);
                }
            }
            for (std::size_t i = 0; i < clients.size() && i + 2 < fds.size(); ++i) {
                TClient& client = clients[i];
                char text[512];
                const ssize_t n = (fds[i + 2].revents & POLLIN) ? recv(client.Fd, text, sizeof text, 0) : -1;
                client.Closed = (fds[i + 2].revents & (POLLERR | POLLHUP)) || n == 0;
                std::vector<LbServer::TLine> lines;
                if (n > 0)
                    client.Reader.Feed(text, std::size_t(n), lines);
                for (const LbServer::TLine& line : lines) {
                    if (line.Kind != LbServer::TLine::Send) {
                        client.Out += "ERROR LINE\r\n";
                        continue;
                    }
                    for (std::uint8_t b : line.Bytes) {
                        if (log)
                            std::fprintf(log, "%.6f rx %02X\n", stamp(), b);
                        if (!firstByte)
                            firstByte = Clock::now();
                        ++bytesReceived;
                        queue(simulator.Receive(b));
                    }
                    client.Out += "SENT OK\r\n";
                }
                report();
            }
            // Send what each can take; a client that has gone (or cannot take anything for long)
            // is dropped.
            for (std::size_t i = 0; i < clients.size();) {
                TClient& client = clients[i];
                bool gone = client.Closed;
                if (!gone && !client.Out.empty()) {
                    const ssize_t sent = send(client.Fd, client.Out.data(), client.Out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (sent > 0)
                        client.Out.erase(0, std::size_t(sent));
                    else if (sent < 0 && errno != EAGAIN)
                        gone = true;
                }
                gone = gone || client.Out.size() > (1u << 20);
                if (gone) {
                    close(client.Fd);
                    clients.erase(clients.begin() + std::ptrdiff_t(i));
                    continue;
                }
                ++i;
            }
        }
        // A sync request reads until nothing is left, so that the log then holds all the PC sent.
        const bool sync = gSync != 0;
        gSync = 0;
        if (!sync && (ready <= 0 || !(fds[0].revents & POLLIN)))
            continue;
        for (;;) {
            std::uint8_t buffer[256];
            // One byte at a time while a hang-up waits for a byte count, so that it comes right there.
            const ssize_t n = read(master, buffer, options.HangupAtByte >= 0 ? 1 : sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (log)
                    std::fprintf(log, "%.6f rx %02X\n", stamp(), buffer[i]);
                if (!firstByte)
                    firstByte = Clock::now();
                ++bytesReceived;
                queue(simulator.Receive(buffer[i]));
            }
            if (!sync || n <= 0 || (options.HangupAtByte >= 0 && bytesReceived >= options.HangupAtByte))
                break;
        }
        report();
        // Extras follow the echo of the PC's first message: its port is open and raw by then.
        if (simulator.MessagesReceived() > 0 && !extrasSent) {
            extrasSent = true;
            if (options.Burst > 0)
                queue(simulator.Burst(options.Burst));
            for (int i = 0; i < options.Noise; ++i)
                outgoing.push_back(std::uint8_t(random()));
        }
        if (sync && log)
            std::fprintf(log, "%.6f sync\n", stamp());
        if (log)
            std::fflush(log);
    }
    report();
    if (log)
        std::fclose(log);
    for (const TClient& client : clients)
        close(client.Fd);
    if (listener >= 0)
        close(listener);
    close(slave);
    close(master);
    if (!options.Link.empty())
        unlink(options.Link.c_str());
    return exitCode;
}
