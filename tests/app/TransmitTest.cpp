// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's LocoNet routines put on the wire, and how they pace it: exact bytes, in order,
// and lower bounds on the pauses (measured when each single-byte write completed).

#include "WindowFixture.h"

#include "EComPort.h"
#include "IntLocoNet.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Transmit : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Form->ComPort1->SetPort(Pty.SlavePath());
        Form->ComPort1->OpenPort();
        link_.OnTxBuf = [this](const char*, int) { Written.push_back(Clock::now()); };
        Form->ComPort1->AttachLink(&link_);
    }
    void TearDown() override
    {
        Form->ComPort1->DetachLink(&link_);
        WindowTest::TearDown();
    }

    // The pause after each written byte before the next one went out.
    std::vector<std::chrono::milliseconds> Gaps() const
    {
        std::vector<std::chrono::milliseconds> gaps;
        for (std::size_t i = 1; i < Written.size(); ++i)
            gaps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(Written[i] - Written[i - 1]));
        return gaps;
    }

    TPty Pty;
    std::vector<Clock::time_point> Written;

private:
    TComLink link_;
};

TEST_F(Transmit, SingleByteMessagesGetTheirChecksum)
{
    SendLocoNetMessage({0x83});
    EXPECT_EQ(Pty.Read(2, 2s), QByteArray("\x83\x7C", 2));
    SendLocoNetMessage({0x82});
    EXPECT_EQ(Pty.Read(2, 2s), QByteArray("\x82\x7D", 2));
}

TEST_F(Transmit, AnEmptyMessageIsTheSingleByteFF)
{
    SendLocoNetMessage({});
    EXPECT_EQ(Pty.Read(1, 2s), QByteArray("\xFF", 1));
    EXPECT_EQ(Pty.ReadUntilQuiet(50ms), QByteArray());
}

TEST_F(Transmit, ZeroBytesGoOutLikeAnyOtherOneAtATimeTwentyMillisecondsApart)
{
    const auto start = Clock::now();
    SendLocoNetMessage({0xBB, 0x00, 0x00});
    const auto took = Clock::now() - start;
    EXPECT_EQ(Pty.Read(4, 2s), QByteArray("\xBB\x00\x00\x44", 4));
    ASSERT_EQ(Written.size(), 4u); // four single-byte writes
    for (auto gap : Gaps())
        EXPECT_GE(gap, 20ms);
    EXPECT_GE(took, 80ms); // the pause after the last byte included
}

struct TPairCase {
    int Address;
    bool Thrown;
    const char* Wire;
};

class TransmitSwitchRequest : public Transmit, public testing::WithParamInterface<TPairCase> {};

TEST_P(TransmitSwitchRequest, OutputOnThenTwoHundredMillisecondsLaterOutputOff)
{
    const TPairCase& c = GetParam();
    const auto start = Clock::now();
    SendSwitchRequest(c.Address, c.Thrown);
    EXPECT_GE(Clock::now() - start, 360ms);
    EXPECT_EQ(Pty.Read(8, 3s), QByteArray(c.Wire, 8));
    const auto gaps = Gaps();
    ASSERT_EQ(gaps.size(), 7u);
    for (std::size_t i = 0; i < gaps.size(); ++i)
        EXPECT_GE(gaps[i], i == 3 ? 220ms : 20ms) << "after byte " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(Addresses, TransmitSwitchRequest,
                         testing::Values(TPairCase{1, false, "\xB0\x00\x30\x7F\xB0\x00\x20\x6F"},
                                         TPairCase{1, true, "\xB0\x00\x10\x5F\xB0\x00\x00\x4F"},
                                         TPairCase{8, true, "\xB0\x07\x10\x58\xB0\x07\x00\x48"},
                                         TPairCase{129, false, "\xB0\x00\x31\x7E\xB0\x00\x21\x6E"},
                                         TPairCase{2048, true, "\xB0\x7F\x1F\x2F\xB0\x7F\x0F\x3F"},
                                         TPairCase{0, true, "\xB0\x7F\x10\x20\xB0\x7F\x00\x30"}),
                         [](const auto& info) {
                             return "Address" + std::to_string(info.param.Address) + (info.param.Thrown ? "Thrown" : "Closed");
                         });

TEST_F(Transmit, StartMessagesInOrder)
{
    for (const auto& message : VersionStartMessages)
        SendLocoNetMessage(message);
    EXPECT_EQ(Pty.Read(26, 3s), QByteArray("\x83\x7C\xBB\x17\x00\x53\xBF\x00\x50\x10\xBF\x00\x0C\x4C"
                                           "\xBB\x00\x00\x44\xBA\x02\x02\x45\xBB\x00\x08\x4C",
                                           26));
}

TEST_F(Transmit, AFailedWriteStopsTheMessageAndRaises)
{
    Form->ComPort1->ClosePort();
    try {
        SendLocoNetMessage({0xB0, 0x01, 0x02});
        ADD_FAILURE() << "sent on a closed port";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Reason(), erWriteFailed);
    }
    EXPECT_EQ(Pty.ReadUntilQuiet(50ms), QByteArray());
}
