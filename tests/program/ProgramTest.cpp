// SPDX-License-Identifier: GPL-3.0-or-later
// sentrax-program as a script runs it: against the LocoNet simulator on a pseudo-terminal, its
// output, its exit code, and every byte the simulator saw.

#include "ChildProcess.h"
#include "LbServerProtocol.h"
#include "PassTable.h"
#include "Pty.h"
#include "ScriptedServer.h"
#include "Ser2net.h"
#include "Simulator.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct TRun {
    std::optional<int> Exit;
    QString Out;
    QString Err;
};

// (Every member has an initializer, so that a designated initializer may leave any out.)
struct TStart {
    std::vector<std::string> Environment{};
    std::function<void(TChildProcess&)> During{}; // runs while the program does
    bool ClosedStandardStreams = false;           // started with descriptors 0, 1 and 2 closed
    QString Terminal{}; // its controlling terminal and standard input, as in a session on it
    // Standard output into a file that cannot take it (/dev/full), or into a pipe whose reader
    // has gone; else it is kept.
    std::string Output{};
    bool OutputReaderGone = false;
};

// The program with the arguments, until it ends; its output and errors are kept.
TRun RunProgram(std::vector<std::string> arguments, const TStart& start = {})
{
    QTemporaryDir dir;
    const std::string out = start.Output.empty() ? dir.filePath(QStringLiteral("out")).toStdString() : start.Output;
    const std::string err = dir.filePath(QStringLiteral("err")).toStdString();
    const std::string status = dir.filePath(QStringLiteral("status")).toStdString();
    std::string command = start.Terminal.isEmpty() ? "\"$0\"" : "setsid --wait --ctty \"$0\"";
    for (std::size_t i = 0; i < arguments.size(); ++i)
        command += " \"${" + std::to_string(i + 1) + "}\"";
    if (start.ClosedStandardStreams)
        command = "exec " + command + " <&- >&- 2>&-";
    else if (start.OutputReaderGone) // the reader ends at once, long before the first line
        command = "{ " + command + " 2> '" + err + "'; echo $? > '" + status + "'; } | true; exit $(cat '" + status + "')";
    else
        command = "exec " + command + " > '" + out + "' 2> '" + err + "'";
    if (!start.Terminal.isEmpty())
        command += " < '" + start.Terminal.toStdString() + "'";
    std::vector<std::string> argv{"sh", "-c", command, SENTRAX_PROGRAM_CLI};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env{"LANG=C", "LC_ALL=C"};
    env.insert(env.end(), start.Environment.begin(), start.Environment.end());
    TChildProcess program(argv, {env, false});
    if (start.During)
        start.During(program);
    TRun run;
    run.Exit = program.WaitExit(60s);
    const auto read = [](const std::string& path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    };
    if (start.Output.empty()) // a device such as /dev/full reads as endless zeros
        run.Out = read(out);
    run.Err = read(err);
    return run;
}

// When each byte is due, counted from the first, at the window's pace: 20 ms after every byte,
// 200 ms more after the output-on request of a switch-request pair (direction and output bits
// in its third byte).
std::vector<double> PlannedTimes(const std::vector<TSimulator::TLoggedByte>& bytes)
{
    std::vector<double> planned;
    double at = 0;
    LocoNet::TMessage frame;
    for (const TSimulator::TLoggedByte& b : bytes) {
        if (b.Byte & 0x80)
            frame.clear();
        frame.push_back(b.Byte);
        planned.push_back(at);
        at += 0.020;
        if (frame.size() == 4 && frame[0] == 0xB0 && (frame[2] & 0x10))
            at += 0.200;
    }
    return planned;
}

std::vector<std::string> PassArguments(const TPassCase& c, const QString& port)
{
    std::vector<std::string> arguments{"--port", port.toStdString(), "--module", c.Version, "--first", "17", "--count", "16"};
    if (c.Monitor)
        arguments.insert(arguments.end(), {"--monitor", c.Monitor});
    return arguments;
}

class SentraxProgram : public testing::TestWithParam<TPassCase> {};

} // namespace

TEST_P(SentraxProgram, SendsWhatTheWindowSendsAtTheWindowsPace)
{
    const TPassCase& c = GetParam();
    const std::vector<LocoNet::TMessage> expected = AllOnWire(c.Sent);

    // Without a port, the plan: the same bytes.
    std::vector<std::string> dryArguments{"--module", c.Version, "--first", "17", "--count", "16", "--dry-run"};
    if (c.Monitor)
        dryArguments.insert(dryArguments.end(), {"--monitor", c.Monitor});
    const TRun dry = RunProgram(dryArguments);
    ASSERT_EQ(dry.Exit, std::optional<int>(0)) << dry.Err.toStdString();
    std::vector<LocoNet::TMessage> planned;
    for (const QString& line : dry.Out.split(u'\n', Qt::SkipEmptyParts)) {
        LocoNet::TMessage bytes;
        for (const QString& hex : line.mid(11, 15).split(u' ', Qt::SkipEmptyParts))
            bytes.push_back(std::uint8_t(hex.toUInt(nullptr, 16)));
        if (!bytes.empty())
            planned.push_back(bytes);
    }
    EXPECT_EQ(planned, expected);

    // A station that answers every claim with the slot in use gets one claim a slot.
    TSimulator simulator({"--report-interval", "0"});
    const TRun run = RunProgram(PassArguments(c, simulator.Port));
    ASSERT_EQ(run.Exit, std::optional<int>(0)) << run.Err.toStdString();
    const TSeenPass seen = SeenPass(simulator.Received(), expected);
    EXPECT_EQ(seen.InOrder, expected.size());
    EXPECT_TRUE(seen.Unexpected.empty()) << "the layout's power stays as it is";
    std::set<int> slots;
    for (const LocoNet::TMessage& claim : seen.Claims)
        EXPECT_TRUE(slots.insert(claim[1]).second) << "slot " << int(claim[1]) << " claimed twice";
    EXPECT_FALSE(seen.Claims.empty());
    // What arrived, as the window's monitor pane shows it, and the module's reports.
    const QStringList lines = run.Out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(QStringLiteral("837C")));
    EXPECT_TRUE(lines.contains(QStringLiteral("E70E170300000007000000000005")));
    EXPECT_EQ(lines.count(QStringLiteral("B00F1050")), 1); // each message once, unlike the window's pane
    EXPECT_TRUE(lines.contains(QStringLiteral("contact 17: level 0")));

    // The pace: byte i comes no earlier than it is due after the first (give or take how late
    // the first was seen).
    const auto bytes = simulator.Bytes("rx");
    const std::vector<double> due = PlannedTimes(bytes);
    for (std::size_t i = 1; i < bytes.size(); ++i)
        EXPECT_GE(bytes[i].At - bytes[0].At, due[i] - 0.010) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Versions, SentraxProgram, testing::ValuesIn(PassCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SentraxProgramFaults, EachFailureEndsItWithItsCodeAndText)
{
    const TPassCase& pass = PassCases()[1];
    struct TCase {
        const char* What;
        std::function<TRun(TSimulator&)> Do;
        int Exit;
        QString Error;  // the start of what it says on standard error
        bool NothingSent;
    };
    const auto arguments = [](TSimulator& s, std::vector<std::string> rest) {
        rest.insert(rest.begin(), {"--port", s.Port.toStdString()});
        return RunProgram(rest);
    };
    const std::vector<TCase> cases{
        {"a port that does not exist", [&](TSimulator&) { return RunProgram(PassArguments(pass, QStringLiteral("/dev/sentrax-none"))); },
         3, QStringLiteral("sentrax-program: /dev/sentrax-none: No such file or directory (code 2)\n"), true},
        {"a port another program holds", [&](TSimulator& s) {
             const int other = open(s.Port.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
             flock(other, LOCK_EX | LOCK_NB);
             TRun run = RunProgram(PassArguments(pass, s.Port));
             close(other);
             return run;
         }, 3, QStringLiteral("sentrax-program: %1: Device or resource busy (code 16)\n"), true},
        {"the program's own terminal, by name and as /dev/tty", [&](TSimulator&) {
             // One wrong digit of a /dev/pts/N: the terminal is left as it was, nothing goes into it.
             TPty own;
             const TPty::TSettings before = own.Settings();
             TStart onIt;
             onIt.Terminal = own.SlavePath();
             TRun run = RunProgram(PassArguments(pass, own.SlavePath()), onIt);
             EXPECT_EQ(run.Err, QStringLiteral("sentrax-program: %1: Device or resource busy: the port is this program's "
                                               "own terminal (code 16)\n").arg(own.SlavePath()));
             EXPECT_EQ(run.Exit, std::optional<int>(3));
             run = RunProgram(PassArguments(pass, QStringLiteral("/dev/tty")), onIt);
             EXPECT_EQ(own.ReadUntilQuiet(100ms), QByteArray());
             const TPty::TSettings after = own.Settings();
             EXPECT_EQ(after.OutputRate, before.OutputRate);
             EXPECT_EQ(after.HardwareFlow, before.HardwareFlow);
             return run;
         }, 3, QStringLiteral("sentrax-program: /dev/tty: Device or resource busy: the port is this program's own terminal (code 16)\n"), true},
        {"a first contact beyond the spinner", [&](TSimulator& s) { return arguments(s, {"--module", "1.0", "--first", "2042", "--count", "8"}); },
         2, QStringLiteral("sentrax-program: --first: 2042 is not a first contact"), true},
        {"a count that is no number", [&](TSimulator& s) { return arguments(s, {"--module", "1.0", "--first", "1", "--count", "8x"}); },
         2, QStringLiteral("sentrax-program: --count: '8x' is not a valid integer value"), true},
        {"version 1.1 without --monitor", [&](TSimulator& s) { return arguments(s, {"--module", "1.1", "--first", "1", "--count", "8"}); },
         2, QStringLiteral("sentrax-program: --monitor: needed for version 1.1"), true},
        {"--monitor for another version", [&](TSimulator& s) {
             return arguments(s, {"--module", "kwadrant", "--first", "1", "--count", "8", "--monitor", "on"});
         }, 2, QStringLiteral("sentrax-program: --monitor: only version 1.1"), true},
        {"a rate the dialog does not offer", [&](TSimulator& s) {
             return arguments(s, {"--module", "1.0", "--first", "1", "--count", "8", "--rate", "12345"});
         }, 2, QStringLiteral("sentrax-program: --rate: '12345' is not a rate"), true},
        {"a command line from before --module", [&](TSimulator& s) { return arguments(s, {"--version", "1.0", "--first", "1", "--count", "8"}); },
         2, QStringLiteral("sentrax-program: --version: shows this program's version and takes nothing else; the module's version is --module"), true},
        {"an option that does not exist, named as typed", [&](TSimulator& s) { return arguments(s, {"-V"}); },
         2, QStringLiteral("sentrax-program: '-V': no such option\n"), true},
        {"the adapter pulled out during the pass", [&](TSimulator& s) { return RunProgram(PassArguments(pass, s.Port)); },
         4, QStringLiteral("sentrax-program: %1: Input/output error (code 5)\n"), false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const bool pulled = c.Exit == 4;
        TSimulator simulator(pulled ? std::vector<std::string>{"--hangup-after", "300", "--report-interval", "0"}
                                    : std::vector<std::string>{"--report-interval", "0"});
        const TRun run = c.Do(simulator);
        EXPECT_EQ(run.Exit, std::optional<int>(c.Exit));
        const QString error = c.Error.contains(QStringLiteral("%1")) ? c.Error.arg(simulator.Port) : c.Error;
        EXPECT_TRUE(run.Err.startsWith(error)) << run.Err.toStdString();
        if (c.NothingSent) {
            EXPECT_TRUE(simulator.Bytes("rx").empty());
        }
    }
}

TEST(SentraxProgramFaults, OnlyASignalStopsItAndThenBetweenWholeMessages)
{
    const TPassCase& pass = PassCases()[0];
    const std::vector<LocoNet::TMessage> expected = AllOnWire(pass.Sent);
    TSimulator simulator({"--report-interval", "0"});
    // Inside the second start message: SIGTERM, then an impatient Ctrl-C.
    const auto impatient = [&](TChildProcess& program) {
        for (int i = 0; i < 1000 && simulator.Bytes("rx").size() < 5; ++i)
            std::this_thread::sleep_for(5ms);
        program.Signal(SIGTERM);
        std::this_thread::sleep_for(20ms);
        program.Signal(SIGINT);
    };
    TStart stopping;
    stopping.During = impatient;
    const TRun stopped = RunProgram(PassArguments(pass, simulator.Port), stopping);
    EXPECT_EQ(stopped.Exit, std::optional<int>(143)) << "the first signal gives the code";
    // The bytes sent are whole messages (slot claims among them), the first of the pass and
    // well short of all of them: nothing is left half sent for the next program's first message
    // to be joined to.
    const std::vector<LocoNet::TMessage> sent = simulator.Received();
    std::size_t bytes = 0;
    for (const LocoNet::TMessage& m : sent)
        bytes += m.size();
    EXPECT_EQ(bytes, simulator.Bytes("rx").size()) << "a message was cut";
    const TSeenPass stoppedPass = SeenPass(sent, expected);
    EXPECT_TRUE(stoppedPass.Unexpected.empty());
    EXPECT_GE(stoppedPass.InOrder, 2u);
    EXPECT_LT(stoppedPass.InOrder, LocoNet::VersionStartMessages.size());

    // The next program opens the port at once. Started with standard input, output and error
    // closed, it has the null device there (no pipe or port of its own can take their numbers)
    // and runs the whole pass; output with nowhere to go counts as output not written.
    std::vector<std::string> streams;
    const std::size_t before = simulator.Bytes("rx").size();
    const auto look = [&](TChildProcess& program) {
        for (int i = 0; i < 1000 && simulator.Bytes("rx").size() <= before; ++i)
            std::this_thread::sleep_for(5ms);
        for (int fd = 0; fd <= 2; ++fd)
            streams.push_back(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/%2").arg(program.Pid()).arg(fd)).toStdString());
    };
    TStart closed;
    closed.During = look;
    closed.ClosedStandardStreams = true;
    const TRun next = RunProgram(PassArguments(pass, simulator.Port), closed);
    EXPECT_EQ(next.Exit, std::optional<int>(1)) << "output that could not be written, after a whole pass";
    EXPECT_EQ(streams, std::vector<std::string>(3, "/dev/null"));
    const std::vector<LocoNet::TMessage> all = simulator.Received();
    const TSeenPass nextPass = SeenPass({all.begin() + std::ptrdiff_t(sent.size()), all.end()}, expected);
    EXPECT_EQ(nextPass.InOrder, expected.size());
}

TEST(SentraxProgramFaults, WhatComesBackLateOrNotAtAll)
{
    // Nothing comes back, not even the interface's echo: a wrong port. Kwadrant also says so as
    // the window does; every version ends with code 5, so that a script does not take it for
    // success.
    TPty silent;
    const TRun kwadrant = RunProgram({"--port", silent.SlavePath().toStdString(), "--module", "kwadrant", "--first", "1", "--count", "8"});
    EXPECT_EQ(kwadrant.Exit, std::optional<int>(5));
    const QString nothing = QStringLiteral("sentrax-program: no LocoNet message came back from %1: is it the LocoNet interface?\n")
                                .arg(silent.SlavePath());
    EXPECT_EQ(kwadrant.Err, QStringLiteral("sentrax-program: warning: Er is geen verbinding tussen de LocoNet-Centrale en het programma\n"
                                           "sentrax-program: warning: There is no connect between the LocoNet device and the programmer\n")
                                + nothing);
    const TRun other = RunProgram({"--port", silent.SlavePath().toStdString(), "--module", "1.0", "--first", "1", "--count", "8"});
    EXPECT_EQ(other.Exit, std::optional<int>(5));
    EXPECT_EQ(other.Err, nothing);

    // A busy bus: the station's replies come only after two seconds of input reports, and are
    // still answered.
    TSimulator busy({"--burst", "1000", "--report-interval", "0"});
    const TRun late = RunProgram(PassArguments(PassCases()[0], busy.Port));
    EXPECT_EQ(late.Exit, std::optional<int>(0));
    EXPECT_FALSE(SeenPass(busy.Received(), AllOnWire(PassCases()[0].Sent)).Claims.empty());
}

TEST(SentraxProgramAnswers, ListHelpVersionAndOutputThatCannotBeWritten)
{
    TSimulator simulator({"--report-interval", "0"});
    TStart named;
    named.Environment = {"SENTRAX_EXTRA_PORTS=" + simulator.Port.toStdString() + ":lbserver://pi.local:1234"};
    const TRun list = RunProgram({"--list"}, named);
    EXPECT_EQ(list.Exit, std::optional<int>(0));
    EXPECT_TRUE(list.Out.split(u'\n').contains(simulator.Port)) << list.Out.toStdString();
    EXPECT_TRUE(list.Out.split(u'\n').contains(QStringLiteral("lbserver://pi.local:1234"))) << list.Out.toStdString();
    const TRun version = RunProgram({"--version"});
    EXPECT_EQ(version.Exit, std::optional<int>(0));
    EXPECT_EQ(version.Out, QStringLiteral("sentrax-program " SENTRAX_VERSION "\n"));
    const TRun help = RunProgram({"--help"});
    EXPECT_EQ(help.Exit, std::optional<int>(0));
    EXPECT_TRUE(help.Out.startsWith(QStringLiteral("Usage: sentrax-program --port PORT --module VERSION"))) << help.Out.toStdString();

    // Output into a full disk is an error, said at the end.
    TStart full;
    full.Output = "/dev/full";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"--list"}, {"--module", "1.0", "--first", "1", "--count", "8", "--dry-run"}}) {
        SCOPED_TRACE(arguments.front());
        const TRun run = RunProgram(arguments, full);
        EXPECT_EQ(run.Exit, std::optional<int>(1));
        EXPECT_EQ(run.Err, QStringLiteral("sentrax-program: cannot write the output: No space left on device (code 28)\n"));
    }
    // A reader that went away never cuts the pass short: all of it goes out, then the program
    // says what happened.
    TStart gone;
    gone.OutputReaderGone = true;
    const TRun pass = RunProgram(PassArguments(PassCases()[0], simulator.Port), gone);
    EXPECT_EQ(pass.Exit, std::optional<int>(1));
    EXPECT_EQ(pass.Err, QStringLiteral("sentrax-program: cannot write the output: Broken pipe (code 32)\n"));
    const std::vector<LocoNet::TMessage> expected = AllOnWire(PassCases()[0].Sent);
    EXPECT_EQ(SeenPass(simulator.Received(), expected).InOrder, expected.size());
}

// --- Through the network -----------------------------------------------------------------------

TEST(SentraxProgramNetwork, APassThroughEachTransportSendsTheSerialPassesBytesAtItsPace)
{
    if (!HaveSer2net())
        GTEST_SKIP() << kNoSer2net;
    const TPassCase& pass = PassCases()[1];
    const std::vector<LocoNet::TMessage> expected = AllOnWire(pass.Sent);
    struct TCase {
        const char* Scheme;
        bool Ser2net;
        bool Rfc2217;
        const char* Rate; // --rate, or nullptr
    };
    for (const TCase& c : {TCase{"lbserver", false, false, nullptr}, TCase{"tcp", true, false, nullptr},
                           TCase{"rfc2217", true, true, "57600"}}) {
        SCOPED_TRACE(c.Scheme);
        const int port = FreeLocalPort();
        std::vector<std::string> simulatorOptions{"--report-interval", "0"};
        if (!c.Ser2net)
            simulatorOptions.insert(simulatorOptions.end(), {"--lbserver", std::to_string(port)});
        TSimulator simulator(simulatorOptions);
        const auto server = c.Ser2net ? StartSer2net(simulator, port, c.Rfc2217) : nullptr;
        std::vector<std::string> arguments = PassArguments(pass, QStringLiteral("%1://127.0.0.1:%2").arg(c.Scheme).arg(port));
        if (c.Rate)
            arguments.insert(arguments.end(), {"--rate", c.Rate});
        std::uint32_t rate = 0;
        TStart start;
        start.During = [&](TChildProcess& program) {
            // The remote line settings, on the terminal while the program is connected.
            for (int i = 0; i < 300 && program.Running() && rate != 57600; ++i) {
                rate = TerminalRate(simulator);
                std::this_thread::sleep_for(10ms);
            }
        };
        // Another client of the LocoNet-over-TCP server sees the whole bus: the pass's messages
        // (as the interface echoes them), and the station's replies.
        int bystander = -1;
        if (!c.Ser2net) {
            bystander = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(std::uint16_t(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ASSERT_EQ(::connect(bystander, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        }
        const TRun run = RunProgram(arguments, start);
        if (bystander >= 0) {
            std::string seenThere;
            char buffer[4096];
            for (ssize_t n; (n = recv(bystander, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
                seenThere.append(buffer, std::size_t(n));
            close(bystander);
            for (const LocoNet::TMessage& m : expected)
                EXPECT_NE(seenThere.find(LbServer::MessageLine("RECEIVE", m)), std::string::npos) << LbServer::MessageLine("RECEIVE", m);
            EXPECT_NE(seenThere.find("RECEIVE E7 0E 17 03 00 00 00 07 00 00 00 00 00 05\r\n"), std::string::npos);
        }
        ASSERT_EQ(run.Exit, std::optional<int>(0)) << run.Err.toStdString();
        const TSeenPass seen = SeenPass(simulator.Received(), expected);
        EXPECT_EQ(seen.InOrder, expected.size());
        EXPECT_TRUE(seen.Unexpected.empty());
        EXPECT_FALSE(seen.Claims.empty());
        EXPECT_TRUE(run.Out.split(u'\n').contains(QStringLiteral("E70E170300000007000000000005")));
        if (c.Rfc2217) {
            EXPECT_EQ(rate, 57600u);
        }
        // The pauses hold where the bytes reach the interface: 20 ms after each byte, 200 ms
        // more inside a switch-request pair. Over lbserver:// a message leaves once its last
        // byte is written, so there the messages are timed. A busy machine (or the server) may
        // hold some and let them go with the next, so some gaps may look shorter (each with a
        // longer one before it); a pace lost on our side (bytes gathered, pauses skipped)
        // shortens most of them, and the whole.
        const auto bytes = simulator.Bytes("rx");
        const std::vector<double> due = PlannedTimes(bytes);
        struct TUnit {
            double At;
            double Planned;
        };
        std::vector<TUnit> units;
        std::size_t first = 0; // of the message the byte belongs to
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i].Byte & 0x80)
                first = i;
            const bool lastOfMessage = i + 1 == bytes.size() || (bytes[i + 1].Byte & 0x80);
            if (c.Ser2net)
                units.push_back({bytes[i].At, due[i]});
            else if (lastOfMessage)
                units.push_back({bytes[first].At, due[i]});
        }
        ASSERT_GE(units.size(), expected.size());
        int shortGaps = 0;
        for (std::size_t i = 1; i < units.size(); ++i)
            shortGaps += units[i].At - units[i - 1].At < units[i].Planned - units[i - 1].Planned - 0.010;
        EXPECT_LE(shortGaps, int(units.size()) / 4);
        EXPECT_GE(units.back().At - units.front().At, units.back().Planned - units.front().Planned - 0.050);
    }
}

TEST(SentraxProgramNetwork, ANetworkGoneSilentMidPassFailsItWithinHalfAMinute)
{
    // A network of its own whose loopback goes down once the pass has begun: the server can
    // neither answer nor reset, and what the program writes stays unacknowledged. Writes still
    // succeed (the socket takes them), so only waiting for delivery can tell.
    if (std::system("unshare -n true 2> /dev/null") != 0 || std::system("command -v ip > /dev/null") != 0)
        GTEST_SKIP() << "needs a network namespace (root) and ip";
    QTemporaryDir dir;
    const std::string out = dir.filePath(QStringLiteral("out")).toStdString();
    const std::string err = dir.filePath(QStringLiteral("err")).toStdString();
    const std::string script = "ip link set lo up\n"
                               "\"$0\" --lbserver 1234 --quiet & simulator=$!\n"
                               "until (: < /dev/tcp/127.0.0.1/1234) 2> /dev/null; do sleep 0.05; done\n"
                               "\"$1\" --port lbserver://127.0.0.1:1234 --module 1.2 --first 17 --count 16 > '" + out
        + "' 2> '" + err + "' & program=$!\n"
          "until [ -s '" + out + "' ] || ! kill -0 $program 2> /dev/null; do sleep 0.01; done\n" // the first answer came back
          "ip link set lo down\n"
          "wait $program; status=$?\n"
          "kill $simulator\n"
          "exit $status\n";
    TChildProcess run({"unshare", "-n", "bash", "-c", script, LOCONET_SIM, SENTRAX_PROGRAM_CLI}, {{"LC_ALL=C"}, false});
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(run.WaitExit(120s), std::optional<int>(4));
    EXPECT_LT(std::chrono::steady_clock::now() - began, 60s);
    QFile errors(QString::fromStdString(err));
    ASSERT_TRUE(errors.open(QIODevice::ReadOnly));
    EXPECT_EQ(errors.readAll().toStdString(), "sentrax-program: lbserver://127.0.0.1:1234: Connection timed out (code 110)\n");
}

TEST(SentraxProgramNetwork, EachFaultEndsInOneErrorWithItsCode)
{
    if (!HaveSer2net())
        GTEST_SKIP() << kNoSer2net;
    const TPassCase& pass = PassCases()[1];
    struct TCase {
        const char* What;
        std::function<TRun()> Do;
        int Exit;
        const char* Error; // what standard error says after "sentrax-program: PORT: ", whole
    };
    const std::vector<TCase> cases{
        {"ser2net stopped mid-pass", [&] {
             TSimulator simulator({"--report-interval", "0"});
             const int port = FreeLocalPort();
             auto server = StartSer2net(simulator, port, false);
             TStart start;
             start.During = [&](TChildProcess&) {
                 std::this_thread::sleep_for(700ms);
                 server->Stop(SIGTERM);
             };
             TRun run = RunProgram(PassArguments(pass, QStringLiteral("tcp://127.0.0.1:%1").arg(port)), start);
             EXPECT_LT(simulator.Received().size(), AllOnWire(pass.Sent).size());
             return run;
         }, 4, "Connection reset by peer (code 104)"},
        {"a refused connection", [&] {
             return RunProgram(PassArguments(pass, QStringLiteral("tcp://127.0.0.1:%1").arg(FreeLocalPort())));
         }, 3, "Connection refused (code 111)"},
        {"an unknown host", [&] {
             return RunProgram(PassArguments(pass, QStringLiteral("lbserver://sentrax-no-such-host.invalid")));
         }, 3, "No such file or directory: unknown host sentrax-no-such-host.invalid (code 2)"},
        {"a server that takes the connection and never answers", [&] {
             TScriptedServer silent([](TScriptedServer& s) {
                 while (!s.Done())
                     std::this_thread::sleep_for(10ms);
             });
             return RunProgram(PassArguments(pass, silent.Name("rfc2217")));
         }, 3, "Protocol not supported: use tcp:// for a server without RFC 2217 (code 93)"},
        {"Ctrl-C while the server keeps it waiting", [&] {
             TScriptedServer silent([](TScriptedServer& s) {
                 while (!s.Done())
                     std::this_thread::sleep_for(10ms);
             });
             TStart start;
             start.During = [](TChildProcess& program) {
                 std::this_thread::sleep_for(300ms);
                 program.Signal(SIGINT);
             };
             const auto began = std::chrono::steady_clock::now();
             TRun run = RunProgram(PassArguments(pass, silent.Name("rfc2217")), start);
             EXPECT_LT(std::chrono::steady_clock::now() - began, 2s) << "the stop ends the wait at once";
             return run;
         }, 130, nullptr},
        {"a server that sends garbage", [&] {
             TScriptedServer garbage([](TScriptedServer& s) {
                 s.Send(std::string(100000, 'Z') + "\nRECEIVE 8G 7C\r\nSEND\r\n" + std::string("\0\xff\xfe\r", 4)
                        + "RECEIVE 83 7c\r\n" + std::string(3000, '\n'));
                 while (!s.Done())
                     std::this_thread::sleep_for(10ms);
             });
             TRun run = RunProgram(PassArguments(pass, garbage.Name("lbserver")));
             EXPECT_EQ(run.Out.split(u'\n').count(QStringLiteral("837C")), 1) << run.Out.toStdString();
             EXPECT_TRUE(run.Err.contains(QStringLiteral(": 10 of the 11 LocoNet messages sent did not come back from lbserver://")));
             return run;
         }, 5, "the module may not be programmed; is the interface still connected to the LocoNet?"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const auto began = std::chrono::steady_clock::now();
        const TRun run = c.Do();
        EXPECT_EQ(run.Exit, std::optional<int>(c.Exit)) << run.Err.toStdString();
        if (c.Error) {
            const QStringList lines = run.Err.split(u'\n', Qt::SkipEmptyParts);
            ASSERT_EQ(lines.size(), 1) << run.Err.toStdString();
            EXPECT_TRUE(lines[0].startsWith(QStringLiteral("sentrax-program: "))) << lines[0].toStdString();
            EXPECT_TRUE(lines[0].endsWith(QString::fromLatin1(c.Error))) << lines[0].toStdString();
        } else {
            EXPECT_EQ(run.Err, QString());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - began, 30s) << "opening is bounded";
    }
}
