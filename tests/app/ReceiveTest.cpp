// SPDX-License-Identifier: GPL-3.0-or-later
// What the window does with the bytes that arrive: the monitor pane, the last reported contact,
// and slot claims, with a pseudo-terminal playing the LocoNet interface.

#include "WindowFixture.h"

#include "IntLocoNet.h"
#include "LocoNet.h"

#include <QScrollBar>
#include <QTextBlock>

#include <atomic>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

class Receive : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        OpenThroughSettings(Pty);
        ASSERT_TRUE(Form->ComPort1->Connected());
    }
    QStringList Lines() const { return Form->Memo1->Lines(); }
    bool WaitForLines(int count) { return WaitFor([&] { return Lines().size() >= count; }, 5s); }

    TPty Pty;
};

TEST_F(Receive, AnInputReportIsShownTwiceAndFillsTheContactFields)
{
    Pty.Write(QByteArray("\xB2\x04\x31\x78", 4));
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(Lines(), (QStringList{"B2043178", "B2043178"}));
    EXPECT_EQ(Form->Edit3->text(), QStringLiteral("266"));
    EXPECT_EQ(Form->Edit4->text(), QStringLiteral("1"));
}

TEST_F(Receive, AMessageInTwoNotificationsIsShownWhenItIsWhole)
{
    Pty.Write(QByteArray("\xB2\x04", 2));
    ASSERT_TRUE(WaitFor([] { return PendingText == "B204"; }, 5s));
    EXPECT_TRUE(Lines().isEmpty());
    Pty.Write(QByteArray("\x31\x78", 2));
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(Lines(), (QStringList{"B2043178", "B2043178"}));
    EXPECT_EQ(Form->Edit3->text(), QStringLiteral("266"));
}

TEST_F(Receive, SwitchRequestsTwiceOtherMessagesOnceBadOnesNever)
{
    Pty.Write(QByteArray("\xB0\x07\x10\x58\x83\x7C\xB2\x00\x00\x4E\x82\x7D", 12));
    ASSERT_TRUE(WaitForLines(4));
    EXPECT_EQ(Lines(), (QStringList{"B0071058", "B0071058", "837C", "827D"}));
    EXPECT_TRUE(Form->Edit3->text().isEmpty()); // the input report's checksum was wrong
}

TEST_F(Receive, ALoneFFMeansNoCommandStation)
{
    Pty.Write(QByteArray("\xFF", 1));
    ASSERT_TRUE(WaitForLines(1));
    EXPECT_EQ(Lines(), QStringList{"Geen LocoNet centrale gevonden"});
    EXPECT_EQ(PendingText, "FF");
}

TEST_F(Receive, SlotDataInTheClaimSetIsAnsweredWithAClaim)
{
    const auto slot5 = LocoNet::WithChecksum(LocoNet::TMessage{0xE7, 0x0E, 0x05, 0x03, 0, 0, 0, 7, 0, 0, 0, 0, 0});
    Pty.Write(QByteArray(reinterpret_cast<const char*>(slot5.data()), qsizetype(slot5.size())));
    EXPECT_EQ(ReadProcessing(Pty, 4, 5s), QByteArray("\xBA\x05\x05\x45", 4));
    const auto notInSet = LocoNet::WithChecksum(LocoNet::TMessage{0xE7, 0x0E, 0x06, 0x01, 0, 0, 0, 7, 0, 0, 0, 0, 0});
    Pty.Write(QByteArray(reinterpret_cast<const char*>(notInSet.data()), qsizetype(notInSet.size())));
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(ReadProcessing(Pty, 1, 300ms), QByteArray());
}

TEST_F(Receive, AStationThatAnswersEveryClaimGetsOneClaimPerSlotPerVersionChoiceAndConnection)
{
    // Like a real command station: a claim is answered with the slot's data, now "in use" (0x33),
    // which is itself a claim status.
    std::atomic<bool> running{true};
    std::mutex mutex;
    QList<int> claimed; // the slot of every move-slots message the station saw
    std::thread station([&] {
        QByteArray pending;
        while (running) {
            pending += Pty.Read(1, 20ms);
            if (!pending.isEmpty() && static_cast<std::uint8_t>(pending[0]) != 0xBA) {
                pending.remove(0, 1);
                continue;
            }
            if (pending.size() < 4)
                continue;
            const std::uint8_t slot = std::uint8_t(pending[1]);
            pending.remove(0, 4);
            {
                std::lock_guard lock(mutex);
                claimed << slot;
            }
            const auto reply = LocoNet::WithChecksum(LocoNet::TMessage{0xE7, 0x0E, slot, 0x33, 0, 0, 0, 7, 0, 0, 0, 0, 0});
            Pty.Write(QByteArray(reinterpret_cast<const char*>(reply.data()), qsizetype(reply.size())));
        }
    });
    const auto claims = [&] {
        std::lock_guard lock(mutex);
        return claimed;
    };
    const auto slotData = [&](std::uint8_t number) {
        const auto data = LocoNet::WithChecksum(LocoNet::TMessage{0xE7, 0x0E, number, 0x33, 0, 0, 0, 7, 0, 0, 0, 0, 0});
        Pty.Write(QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size())));
    };
    slotData(2);
    slotData(3);
    WaitFor([&] { return claims().size() >= 2; }, 5s);
    WaitFor([] { return false; }, 600ms); // time for any further claim to go out
    EXPECT_EQ(claims(), (QList<int>{2, 3}));

    // A new version choice starts a new exchange: its start messages move slot 2 (BA 02 02), the
    // station answers with slot 2 in use, and that is claimed once more; then never again.
    Select(Form->RadioButton2);
    slotData(2);
    WaitFor([] { return false; }, 600ms);
    EXPECT_EQ(claims(), (QList<int>{2, 3, 2, 2}));

    // So does a connection made anew through Settings -> OK: slot 2, claimed since the version
    // choice, is claimed once more.
    OpenThroughSettings(Pty);
    slotData(2);
    WaitFor([] { return false; }, 600ms);
    EXPECT_EQ(claims(), (QList<int>{2, 3, 2, 2, 2}));
    running = false;
    station.join();
}

TEST_F(Receive, TheMonitorPaneKeepsTheNewest200000Lines)
{
    Form->Memo1->BeginUpdate();
    for (int i = 0; i < 200'010; ++i)
        Form->Memo1->AddLine(QString::number(i));
    Form->Memo1->EndUpdate();
    // A user who scrolled back keeps seeing the same lines while the oldest are dropped.
    Form->Memo1->verticalScrollBar()->setValue(100);
    const auto topShown = [&] { return Form->Memo1->cursorForPosition(QPoint(0, 0)).block().text(); };
    const QString shown = topShown();
    Pty.Write(Wire({QByteArray("\xB2\x04\x31", 3)}));
    ASSERT_TRUE(WaitFor([&] { return Form->Edit3->text() == QStringLiteral("266"); }, 5s));
    const QStringList lines = Lines();
    EXPECT_EQ(lines.size(), 200'000);
    EXPECT_EQ(lines.first(), QStringLiteral("12")); // the oldest twelve scrolled away
    EXPECT_EQ(lines.mid(lines.size() - 3), (QStringList{"200009", "B2043178", "B2043178"}));
    EXPECT_EQ(topShown(), shown);
}

// A busy bus gives the pane two lines a pass. Lines that have passed the pane's bottom give back
// the text layouts Qt made for them (a fresh layout has no lines), while everything a user sees
// stays: the lines, the view at the bottom or where the user scrolled to, the selection.
TEST_F(Receive, LinesThatPassedTheMonitorPaneKeepNoLayoutAndNothingVisibleChanges)
{
    TMemo& pane = *Form->Memo1;
    QStringList expected;
    const auto pass = [&](int n) {
        pane.BeginUpdate();
        for (const QString& line : {QStringLiteral("B2%1").arg(n), QStringLiteral("B2%1").arg(n)}) {
            pane.AddLine(line);
            expected << line;
        }
        pane.EndUpdate();
    };
    const auto laidOut = [&](int block) { return pane.document()->findBlockByNumber(block).layout()->lineCount() > 0; };
    for (int n = 0; n < 50; ++n)
        pass(n);
    QTextCursor selection(pane.document()->findBlockByNumber(20));
    selection.setPosition(pane.document()->findBlockByNumber(23).position() + 3, QTextCursor::KeepAnchor);
    pane.setTextCursor(selection);
    const int anchor = selection.anchor(), position = selection.position();
    pane.verticalScrollBar()->setValue(pane.verticalScrollBar()->maximum()); // back to the newest lines
    for (int n = 50; n < TMemo::RenewEvery / 2; ++n)
        pass(n);
    QCoreApplication::processEvents();

    EXPECT_EQ(pane.Lines(), expected);
    EXPECT_EQ(pane.textCursor().anchor(), anchor);
    EXPECT_EQ(pane.textCursor().position(), position);
    EXPECT_EQ(pane.textCursor().selectedText(), QStringLiteral("B210\u2029B210\u2029B211\u2029B21"));
    EXPECT_FALSE(laidOut(1000));
    EXPECT_FALSE(laidOut(pane.LineCount() - TMemo::KeptAtBottom - 1));
    const auto topShown = [&] { return pane.cursorForPosition(QPoint(0, 0)).blockNumber(); };
    EXPECT_EQ(pane.verticalScrollBar()->value(), pane.verticalScrollBar()->maximum());
    EXPECT_GT(topShown(), pane.LineCount() - 40);

    // Scrolled back into lines that have not yet given their layouts back: the view stays.
    pane.verticalScrollBar()->setValue(pane.LineCount() - 100);
    QCoreApplication::processEvents();
    const int shown = topShown();
    for (int n = TMemo::RenewEvery / 2; n < TMemo::RenewEvery; ++n)
        pass(n);
    QCoreApplication::processEvents();
    EXPECT_EQ(pane.Lines(), expected);
    EXPECT_EQ(topShown(), shown);
    EXPECT_FALSE(laidOut(shown - 10));
    EXPECT_FALSE(laidOut(shown + 500));
}

TEST_F(Receive, AStreamOfManyMessagesIsShownCompleteAndInOrder)
{
    QByteArray burst;
    QStringList expected;
    for (int i = 0; i < 300; ++i) {
        const auto report = LocoNet::WithChecksum(LocoNet::TMessage{0xB2, std::uint8_t(i & 0x7F), std::uint8_t(0x40 | (i >> 7))});
        burst.append(reinterpret_cast<const char*>(report.data()), qsizetype(report.size()));
        const QString line = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(report.data()), 4).toHex().toUpper());
        expected << line << line;
    }
    Pty.Write(burst);
    ASSERT_TRUE(WaitForLines(600));
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(Form->Edit3->text(), QString::number(2 * 43 + 256 * 2 + 1)); // the last: 299 = 2*128 + 43
}
