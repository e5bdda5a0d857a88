// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TelnetProtocol.h"

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// A server of one connection on 127.0.0.1, run by a script on a thread of its own.
class TScriptedServer {
public:
    using TScript = std::function<void(TScriptedServer&)>;
    explicit TScriptedServer(TScript script)
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 1) != 0
            || getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            ADD_FAILURE() << "no listening socket";
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, script = std::move(script)] {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0)
                return;
            fd_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            script(*this);
        });
    }
    ~TScriptedServer()
    {
        done_ = true;
        thread_.join();
        if (fd_ >= 0)
            close(fd_);
        close(listener_);
    }
    QString Name(const char* scheme) const { return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port_); }
    bool Done() const { return done_; }

    void Send(const std::string& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Reads until `what` has come (true) or the test is over (false); what came before is dropped.
    bool Expect(const std::string& what)
    {
        while (!done_) {
            const auto at = in_.find(what);
            if (at != std::string::npos) {
                in_.erase(0, at + what.size());
                return true;
            }
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                char buffer[512];
                const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
                if (n <= 0)
                    return false;
                in_.append(buffer, std::size_t(n));
            }
        }
        return false;
    }
    // Answers the client's COM port commands as RFC 2217 says, with the value asked for, or with
    // `baud` for the rate when it is not 0.
    void AnswerSettings(std::uint32_t baud = 0)
    {
        using namespace Telnet;
        const std::string head{char(IAC), char(SB), char(OptComPort)};
        if (!Expect(head + char(ComPort::SetBaudRate)))
            return;
        while (in_.size() < 4 && !done_)
            Read();
        std::string value = in_.substr(0, 4);
        if (baud)
            value = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
        Send(ComPortCommand(ComPort::SetBaudRate + ComPort::ServerOffset,
                            std::vector<std::uint8_t>(value.begin(), value.end())));
        for (std::uint8_t command : {ComPort::SetDataSize, ComPort::SetParity, ComPort::SetStopSize, ComPort::SetControl}) {
            if (!Expect(head + char(command)))
                return;
            while (in_.empty() && !done_)
                Read();
            Send(ComPortCommand(command + ComPort::ServerOffset, {std::uint8_t(in_[0])}));
        }
    }

private:
    void Read()
    {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 10) > 0) {
            char buffer[512];
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0)
                in_.append(buffer, std::size_t(n));
        }
    }

    int listener_ = -1;
    int fd_ = -1;
    int port_ = 0;
    std::string in_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};
