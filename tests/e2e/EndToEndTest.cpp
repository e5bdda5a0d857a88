// SPDX-License-Identifier: GPL-3.0-or-later
// The whole configurator against the LocoNet simulator: the real window (offscreen), the
// simulator as a process of its own on a pseudo-terminal, and the simulator's log of every byte.

#include "../app/WindowFixture.h"

#include "CpuTime.h"
#include "LocoNet.h"
#include "LocoNetReceive.h"
#include "PassTable.h"
#include "Ser2net.h"
#include "Simulator.h"
#include "UnitSentrax.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <functional>
#include <set>
#include <string>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

LocoNet::TMessage OnWire(std::initializer_list<std::uint8_t> bytes)
{
    return LocoNet::WithChecksum(LocoNet::TMessage(bytes));
}

} // namespace

class EndToEnd : public WindowTest, public testing::WithParamInterface<TPassCase> {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        link_.OnTxBuf = [this](const char*, int) { Written.push_back(std::chrono::steady_clock::now()); };
        Form->ComPort1->AttachLink(&link_);
    }
    void TearDown() override
    {
        if (frmSentrax)
            Form->ComPort1->DetachLink(&link_);
        WindowTest::TearDown();
    }
    std::vector<std::chrono::steady_clock::time_point> Written; // each completed write

private:
    TComLink link_;
};

TEST_P(EndToEnd, AFullPassProgramsTheModuleAndEndsWithPowerOff)
{
    const TPassCase& version = GetParam();
    TSimulator simulator({"--report-interval", "0"});
    OpenThroughSettings(simulator.Port);
    ASSERT_TRUE(Form->ComPort1->Connected());

    QRadioButton* const radios[] = {Form->RadioButton1, Form->RadioButton2, Form->RadioButton3};
    Select(radios[version.RadioButton - 1]);
    Type(Form->Edit1, QStringLiteral("17"));
    Click(version.CurrentMonitorOn ? Form->Button2 : Form->Button3);
    Type(Form->Edit2, QStringLiteral("16"));
    Click(Form->Button4);
    // The module reports its sixteen contacts, 17 to 32, all free.
    ASSERT_TRUE(WaitFor([&] { return Form->Edit3->text() == QStringLiteral("32"); }, 10s)) << Form->Edit3->text().toStdString();
    EXPECT_EQ(Form->Edit4->text(), QStringLiteral("0"));
    const QStringList shown = Form->Memo1->Lines();
    EXPECT_TRUE(shown.contains(QStringLiteral("837C")));                          // an echo
    EXPECT_TRUE(shown.contains(QStringLiteral("E70E170300000007000000000005"))); // a reply
    EXPECT_FALSE(shown.contains(QStringLiteral("Er is geen verbinding tussen de LocoNet-Centrale en het programma")));
    Click(Form->Button5);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join(u'|').toStdString();

    // What went over the wire: the pass of the table, then global power off; slot claims
    // (BA s s) may come between, each slot once.
    std::vector<LocoNet::TMessage> expected = AllOnWire(version.Sent);
    expected.push_back(OnWire({0x82}));
    const TSeenPass seen = SeenPass(simulator.Received(), expected);
    EXPECT_EQ(seen.InOrder, expected.size());
    EXPECT_TRUE(seen.Unexpected.empty());
    std::set<int> claimedSlots;
    for (const LocoNet::TMessage& claim : seen.Claims)
        EXPECT_TRUE(claimedSlots.insert(claim[1]).second) << "slot " << int(claim[1]) << " claimed twice";
    EXPECT_FALSE(seen.Claims.empty());

    // One byte every 20 ms at least: each write completed 20 ms or more after the one before.
    // On the wire, a busy machine may wake the simulator late for one byte and on time for the
    // next, so single gaps seen there can look shorter; no byte can arrive before its time,
    // though, so byte i comes at least i times 20 ms after the first (give or take how late the
    // first one was seen).
    ASSERT_EQ(Written.size(), simulator.Bytes("rx").size());
    for (std::size_t i = 1; i < Written.size(); ++i)
        EXPECT_GE(Written[i] - Written[i - 1], 20ms) << "byte " << i;
    const auto bytes = simulator.Bytes("rx");
    for (std::size_t i = 1; i < bytes.size(); ++i)
        EXPECT_GE(bytes[i].At - bytes[0].At, 0.020 * double(i) - 0.010) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Versions, EndToEnd, testing::ValuesIn(PassCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

class EndToEndFaults : public WindowTest {};

TEST_F(EndToEndFaults, TheAdapterPulledOutAtAnyMomentOfAPassEndsTheSameWay)
{
    // The moments: every 100 ms of a pass (the start messages, with their replies and claims,
    // then the two switch-request pairs), and, without a command station (only echoes come back,
    // so the bytes are counted exactly), inside the first switch request and inside the 200 ms
    // between the two requests of a pair.
    std::vector<std::pair<std::string, std::vector<std::string>>> pulls;
    for (int ms = 0; ms <= 1500; ms += 100)
        pulls.push_back({std::to_string(ms) + " ms into the pass", {"--hangup-after", std::to_string(ms)}});
    pulls.push_back({"inside the first switch request", {"--no-station", "--hangup-at-byte", "28"}});
    pulls.push_back({"between the requests of the first pair", {"--no-station", "--hangup-at-byte", "30"}});

    QTemporaryDir links;
    const QString port = links.filePath(QStringLiteral("loconet"));
    for (auto& [when, options] : pulls) {
        SCOPED_TRACE(when);
        TearDown(); // a new window each time, as a user who starts the program again
        Errors.clear();
        SetUp();
        options.insert(options.end(), {"--report-interval", "0"});
        {
            TSimulator unplugged(options, port);
            OpenThroughSettings(port);
            ASSERT_TRUE(Form->ComPort1->Connected());
            // The pass goes on for as long as the port is open.
            const std::vector<std::function<void()>> steps{
                [&] { Select(Form->RadioButton2); },
                [&] { Type(Form->Edit1, QStringLiteral("17")); },
                [&] { Click(Form->Button2); },
                [&] { Type(Form->Edit2, QStringLiteral("16")); },
                [&] { Click(Form->Button4); },
            };
            for (const auto& step : steps) {
                if (Form->ComPort1->Connected())
                    step();
            }
            ASSERT_TRUE(WaitFor([&] { return !Form->ComPort1->Connected(); }, 10s));
            const double before = CpuSeconds();
            WaitFor([] { return false; }, 300ms); // a late second report would show by now
            EXPECT_LT(CpuSeconds() - before, 0.15); // nothing spins on the dead terminal
        }
        ASSERT_EQ(Errors.size(), 1) << Errors.join(u'|').toStdString();
        // Whichever call noticed it (a read, a write, the input count) says so, with EIO.
        EXPECT_TRUE(Errors[0].endsWith(QStringLiteral(" function failed (win error code: 5)"))) << Errors[0].toStdString();
        EXPECT_EQ(Form->ComLed3->State(), lsOff);
        EXPECT_EQ(Form->ComLed1->State(), lsOff);

        // Plugged in again: the same name, a new terminal behind it; Settings and OK open it.
        TSimulator back({"--report-interval", "0"}, port);
        WhenModalShows([](QWidget* dialog) { ClickButton(dialog, QStringLiteral("OK")); });
        Click(Form->Button1);
        ASSERT_TRUE(Form->ComPort1->Connected());
        EXPECT_EQ(Form->ComLed3->State(), lsOn);
        Click(Form->Button6);
        EXPECT_TRUE(WaitFor([&] { return back.Received() == std::vector<LocoNet::TMessage>{OnWire({0x83})}; }, 5s));
        EXPECT_EQ(Errors.size(), 1);
    }
}

TEST_F(EndToEndFaults, AMegabyteOfNoiseLeavesTheWindowResponsiveAndLaterTrafficShown)
{
    TSimulator simulator({"--noise", "1048576", "--rate", "0", "--report-interval", "0", "--seed", "7"});
    OpenThroughSettings(simulator.Port);
    const auto rss = [] {
        QFile status(QStringLiteral("/proc/self/statm"));
        status.open(QIODevice::ReadOnly);
        return status.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
    };
    const long long before = rss();
    // The window's event loop must keep turning: a timer measures the longest pause.
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestPause = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, sinceTick.restart());
    });
    ticker.start(20);
    Click(Form->Button6); // the noise follows the echo of power on
    // Wait until the simulator's log stops growing (reading the log itself is too slow to do
    // while waiting) and nothing is left unread.
    qint64 logSize = -1;
    QElapsedTimer quiet;
    quiet.start();
    WaitFor([&] {
        const qint64 now = QFileInfo(simulator.Log).size();
        if (now != logSize || Form->ComPort1->BytesWaiting() > 0) {
            logSize = now;
            quiet.restart();
        }
        return quiet.elapsed() > 1500;
    }, 180s);
    ASSERT_GE(simulator.Bytes("tx").size(), 1048576u + 2);
    sinceTick.restart();
    WaitFor([] { return false; }, 300ms);
    std::printf("after a megabyte of noise: longest pause of the event loop %lld ms, memory grown %lld KiB, "
                "%d lines shown\n", static_cast<long long>(longestPause), (rss() - before) / 1024, Form->Memo1->LineCount());
    EXPECT_LE(PendingText.size(), 2 * LocoNet::PendingCapBytes);
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer holds freed memory back in its quarantine
    EXPECT_LT(rss() - before, 100LL << 20) << "bytes grown";
#endif
    EXPECT_LT(longestPause, 2000);

    // Settings and OK start the connection anew: what the noise left pending is gone, and a
    // whole pass is answered at once (slot data with claims, the module's input reports).
    WhenModalShows([](QWidget* dialog) { ClickButton(dialog, QStringLiteral("OK")); });
    Click(Form->Button1);
    const std::size_t claimsBefore = simulator.Received().size();
    Select(Form->RadioButton2);
    Type(Form->Edit1, QStringLiteral("17"));
    Click(Form->Button2);
    Type(Form->Edit2, QStringLiteral("16"));
    Click(Form->Button4);
    EXPECT_TRUE(WaitFor([&] { return Form->Edit3->text() == QStringLiteral("32"); }, 5s)) << Form->Edit3->text().toStdString();
    const auto sent = simulator.Received();
    EXPECT_TRUE(std::any_of(sent.begin() + std::ptrdiff_t(claimsBefore), sent.end(),
                            [](const LocoNet::TMessage& m) { return m[0] == 0xBA && m[1] == m[2] && m[1] != 2; }))
        << "no slot data was answered with a claim";
}

TEST_F(EndToEndFaults, ABurstOfInputReportsIsShownCompleteAndInOrder)
{
    TSimulator simulator({"--burst", "500", "--report-interval", "0"});
    OpenThroughSettings(simulator.Port);
    Click(Form->Button6); // power on: the simulator's burst follows its echo
    ASSERT_TRUE(WaitFor([&] { return Form->Memo1->LineCount() >= 1001; }, 20s)) << Form->Memo1->LineCount();
    QStringList expected{QStringLiteral("837C")};
    for (int i = 0; i < 500; ++i) {
        const int n = i; // contacts 1.. in turn, occupied and free alternately
        const auto report = LocoNet::WithChecksum(LocoNet::TMessage{
            0xB2, std::uint8_t((n >> 1) & 0x7F), std::uint8_t(0x40 | ((n & 1) ? 0x20 : 0) | (i % 2 == 0 ? 0x10 : 0) | ((n >> 8) & 0x0F))});
        const QString line = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(report.data()), 4).toHex().toUpper());
        expected << line << line;
    }
    EXPECT_EQ(Form->Memo1->Lines(), expected);
    EXPECT_EQ(Form->Edit3->text(), QStringLiteral("500"));
}

// Through the network: the simulator's LoconetOverTcp server, and Debian's ser2net in front of
// the simulator's terminal (raw, and Telnet with RFC 2217).
class EndToEndNetwork : public WindowTest {};

TEST_F(EndToEndNetwork, APassThroughEachTransportAndAServerStoppedMidPass)
{
    if (!HaveSer2net())
        GTEST_SKIP() << kNoSer2net;
    const TPassCase& version = PassCases()[1];
    const auto startPass = [&] {
        Select(Form->RadioButton2);
        Type(Form->Edit1, QStringLiteral("17"));
        Click(Form->Button2);
        Type(Form->Edit2, QStringLiteral("16"));
        Click(Form->Button4);
    };
    struct TCase {
        const char* Scheme;
        bool Ser2net;
        bool Rfc2217;
        const char* Baud;
    };
    for (const TCase& c : {TCase{"lbserver", false, false, "19200"}, TCase{"tcp", true, false, "19200"},
                           TCase{"rfc2217", true, true, "57600"}}) {
        SCOPED_TRACE(c.Scheme);
        TearDown();
        Errors.clear();
        SetUp();
        const int port = FreeLocalPort();
        std::vector<std::string> options{"--report-interval", "0"};
        if (!c.Ser2net)
            options.insert(options.end(), {"--lbserver", std::to_string(port)});
        TSimulator simulator(options);
        const auto server = c.Ser2net ? StartSer2net(simulator, port, c.Rfc2217) : nullptr;
        OpenThroughSettings(QStringLiteral("%1://127.0.0.1:%2").arg(c.Scheme).arg(port), QString::fromLatin1(c.Baud));
        ASSERT_TRUE(Form->ComPort1->Connected()) << Errors.join(u'|').toStdString();
        EXPECT_EQ(Form->ComLed3->State(), lsOn);
        if (c.Rfc2217) {
            EXPECT_EQ(TerminalRate(simulator), 57600u); // the dialog's rate, on the remote line
        }
        startPass();
        ASSERT_TRUE(WaitFor([&] { return Form->Edit3->text() == QStringLiteral("32"); }, 10s)) << Form->Edit3->text().toStdString();
        Click(Form->Button5);
        EXPECT_TRUE(Errors.isEmpty()) << Errors.join(u'|').toStdString();
        std::vector<LocoNet::TMessage> expected = AllOnWire(version.Sent);
        expected.push_back(OnWire({0x82}));
        // The power-off goes out whole before the connection closes.
        WaitFor([&] { return SeenPass(simulator.Received(), expected).InOrder == expected.size(); }, 2s);
        const TSeenPass seen = SeenPass(simulator.Received(), expected);
        EXPECT_EQ(seen.InOrder, expected.size());
        EXPECT_TRUE(seen.Unexpected.empty());
    }

    // ser2net stopped mid-pass is an adapter pulled out: one error, the lamp dark; once it runs
    // again, Settings and OK connect again.
    TearDown();
    Errors.clear();
    SetUp();
    const int port = FreeLocalPort();
    TSimulator simulator({"--report-interval", "0"});
    auto server = StartSer2net(simulator, port, false);
    OpenThroughSettings(QStringLiteral("tcp://127.0.0.1:%1").arg(port));
    ASSERT_TRUE(Form->ComPort1->Connected());
    QTimer::singleShot(700ms, [&] { server->Stop(SIGTERM); });
    startPass();
    ASSERT_TRUE(WaitFor([&] { return !Form->ComPort1->Connected(); }, 10s));
    WaitFor([] { return false; }, 300ms); // a late second report would show by now
    ASSERT_EQ(Errors.size(), 1) << Errors.join(u'|').toStdString();
    EXPECT_TRUE(Errors[0].endsWith(QStringLiteral(" (win error code: 104)"))) << Errors[0].toStdString();
    EXPECT_EQ(Form->ComLed3->State(), lsOff);
    EXPECT_LT(simulator.Received().size(), version.Sent.size()); // it was mid-pass
    server = StartSer2net(simulator, port, false);
    WhenModalShows([](QWidget* dialog) { ClickButton(dialog, QStringLiteral("OK")); });
    Click(Form->Button1);
    ASSERT_TRUE(Form->ComPort1->Connected());
    EXPECT_EQ(Form->ComLed3->State(), lsOn);
    EXPECT_EQ(Errors.size(), 1);
}
