// SPDX-License-Identifier: GPL-3.0-or-later
// The port on a network device, against scripted servers on 127.0.0.1: what ser2net and the
// simulator's server cannot show (modem lines, refusals, a server's failed send).

#include "CPort.h"
#include "EComPort.h"
#include "TelnetProtocol.h"
#include "ScriptedServer.h"
#include "TestHelpers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string kAcceptComPort{char(Telnet::IAC), char(Telnet::DO), char(Telnet::OptComPort)};

} // namespace

TEST(NetworkPort, TheRemoteModemStateDrivesCtsAsALocalLineDoes)
{
    TScriptedServer server([](TScriptedServer& s) {
        if (!s.Expect(std::string{char(Telnet::IAC), char(Telnet::WILL), char(Telnet::OptComPort)}))
            return;
        s.Send(kAcceptComPort);
        s.AnswerSettings();
        // CTS comes on, then goes off again.
        s.Send(Telnet::ComPortCommand(Telnet::ComPort::NotifyModemState + Telnet::ComPort::ServerOffset, {0x11}));
        std::this_thread::sleep_for(300ms);
        s.Send(Telnet::ComPortCommand(Telnet::ComPort::NotifyModemState + Telnet::ComPort::ServerOffset, {0x01}));
        while (!s.Done())
            std::this_thread::sleep_for(10ms);
    });
    TComPort port;
    StoreConfiguratorSettings(port);
    port.SetEvents({evCTS, evRxChar});
    port.SetPort(server.Name("rfc2217"));
    std::vector<bool> cts;
    port.OnCTSChange = [&](QObject*, bool on) { cts.push_back(on); };
    port.OpenPort();
    EXPECT_TRUE(ProcessEventsUntil([&] { return cts.size() >= 3; }, 5s));
    EXPECT_EQ(cts, (std::vector<bool>{false, true, false})); // the open's first report, then the peer's
    port.ClosePort();
}

TEST(NetworkPort, RefusalsAndTheServersFailedSendEachEndWithTheirCode)
{
    struct TCase {
        const char* What;
        const char* Scheme;
        TScriptedServer::TScript Script;
        int Reason;
        int Code;
        const char* Detail;
    };
    const TCase cases[] = {
        {"a server that refuses the COM port option", "rfc2217",
         [](TScriptedServer& s) {
             s.Expect(std::string{char(Telnet::IAC), char(Telnet::WILL), char(Telnet::OptComPort)});
             s.Send(std::string{char(Telnet::IAC), char(Telnet::DONT), char(Telnet::OptComPort)});
         },
         erOpenFailed, EPROTONOSUPPORT, "use tcp:// for a server without RFC 2217"},
        {"a server that sets another rate", "rfc2217",
         [](TScriptedServer& s) {
             s.Send(kAcceptComPort);
             s.AnswerSettings(9600);
         },
         erSetState, EINVAL, "the server set rate 9600 instead of 19200"},
        {"a LocoNet server that could not send a message", "lbserver",
         [](TScriptedServer& s) {
             s.Send("VERSION scripted\r\n");
             if (s.Expect("SEND 83 7C\r\n"))
                 s.Send("SENT ERROR no echo\r\n");
         },
         erWriteFailed, ECOMM, "the LocoNet server could not send a message"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TScriptedServer server(c.Script);
        TComPort port;
        StoreConfiguratorSettings(port);
        port.SetEvents({});
        port.SetPort(server.Name(c.Scheme));
        const EComPort e = Raised([&] {
            port.OpenPort();
            // Written as the link writes: a byte at a time. The message's own write fails, so
            // that the last message of a pass cannot fail unnoticed.
            port.WriteText(QByteArray("\x83"));
            port.WriteText(QByteArray("\x7C"));
        });
        EXPECT_EQ(e.Reason(), c.Reason);
        EXPECT_EQ(e.SystemCode(), c.Code);
        EXPECT_EQ(e.Detail(), QString::fromLatin1(c.Detail));
        // A failed send leaves the connection; a refusal leaves nothing open.
        EXPECT_EQ(port.Connected(), c.Code == ECOMM);
    }
}
