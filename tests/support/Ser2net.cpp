// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ser2net.h"

#include "Simulator.h"

#include <QFile>

#include <arpa/inet.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace {
const char* const kSer2net = "/usr/sbin/ser2net";

sockaddr_in Loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}
}

int FreeLocalPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t size = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

bool HaveSer2net()
{
    return access(kSer2net, X_OK) == 0;
}

std::unique_ptr<TChildProcess> StartSer2net(const TSimulator& simulator, int port, bool rfc2217)
{
    const std::string terminal = QFile::symLinkTarget(simulator.Port).toStdString();
    // The configuration in YAML on the command line ("#" stands for a new line); -n: in the
    // foreground, -u: no lock files.
    const std::string config = std::string("connection: &c1#  accepter: ") + (rfc2217 ? "telnet(rfc2217)," : "")
        + "tcp,127.0.0.1," + std::to_string(port) + "#  connector: serialdev," + terminal
        + ",19200n81,local#  options:#    kickolduser: true";
    auto server = std::make_unique<TChildProcess>(std::vector<std::string>{kSer2net, "-n", "-u", "-Y", config},
                                                  TChildProcess::TOptions{{}, true});
    for (int i = 0; i < 500; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in a = Loopback(port);
        const bool up = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (up)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return server;
}

std::uint32_t TerminalRate(const TSimulator& simulator)
{
    const int fd = open(QFile::encodeName(simulator.Port).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios2 t{};
    const bool ok = fd >= 0 && ioctl(fd, TCGETS2, &t) == 0;
    if (fd >= 0)
        close(fd);
    return ok ? t.c_ospeed : 0;
}
