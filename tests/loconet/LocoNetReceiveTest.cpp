// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocoNet.h"
#include "LocoNetReceive.h"
#include "PassRecorder.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

using namespace LocoNet;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& spaced)
{
    std::vector<std::uint8_t> bytes;
    std::istringstream in(spaced);
    std::string hex;
    while (in >> hex)
        bytes.push_back(std::uint8_t(std::stoi(hex, nullptr, 16)));
    return bytes;
}

// One notification after another, as the receive handler drives the pass.
struct TReceiver {
    std::string Pending;
    std::string Working;
    TPassRecorder Actions;

    void Notify(const std::vector<std::uint8_t>& bytes)
    {
        AppendHex(Pending, bytes);
        ParsePass(Pending, Pending, Working, Actions);
        CapPending(Pending);
    }
    void Notify(const std::string& spaced) { Notify(Bytes(spaced)); }
};

const std::string kNoCentral(NoCentralLine);

} // namespace

TEST(LocoNetHexText, TwoUpperCaseDigitsPerByte)
{
    std::string text;
    AppendHex(text, Bytes("00 0A B2 FF 7d"));
    EXPECT_EQ(text, "000AB2FF7D");
    EXPECT_EQ(HexByteCount(text), 5u);
    EXPECT_EQ(HexByte(text, 2), 0xB2);
}

TEST(LocoNetFraming, TheTableHoldsForEveryFirstByte)
{
    const std::set<int> two{0x81, 0x82, 0x83, 0x85, 0x88, 0x89};
    const std::set<int> four{0xA0, 0xA1, 0xA2, 0xA3, 0xB0, 0xB1, 0xB2, 0xB4, 0xB5, 0xB6,
                             0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBF};
    const std::set<int> six{0x7D, 0xD0, 0xD1, 0xDF};
    const std::set<int> counted{0xE4, 0xE5, 0xE6, 0xE7, 0xED, 0xEF};
    for (int b = 0; b < 256; ++b) {
        const TFrameRule rule = FrameRuleOf(std::uint8_t(b));
        if (two.count(b) || four.count(b) || six.count(b) || b == 0xE0) {
            ASSERT_EQ(rule.Kind, TFraming::Fixed) << b;
            EXPECT_EQ(rule.Length, two.count(b) ? 2 : four.count(b) ? 4 : six.count(b) ? 6 : 19) << b;
        } else if (counted.count(b)) {
            EXPECT_EQ(rule.Kind, TFraming::Counted) << b;
        } else if (b == 0x0D) {
            EXPECT_EQ(rule.Kind, TFraming::DiscardAll);
        } else {
            EXPECT_EQ(rule.Kind, TFraming::Unrecognised) << b;
        }
    }
}

TEST(LocoNetReceive, InputReportInOneNotificationIsShownTwiceAndDecoded)
{
    TReceiver r;
    r.Notify("B2 04 31 78");
    EXPECT_EQ(r.Actions.Lines, (std::vector<std::string>{"B2043178", "B2043178"}));
    ASSERT_EQ(r.Actions.Reports.size(), 1u);
    EXPECT_EQ(r.Actions.Reports[0].Contact, 266);
    EXPECT_EQ(r.Actions.Reports[0].Level, 1);
    EXPECT_EQ(r.Pending, "");
}

TEST(LocoNetReceive, MessageSplitOverTwoNotificationsWaitsForItsRest)
{
    TReceiver r;
    r.Notify("B2 04");
    EXPECT_TRUE(r.Actions.Lines.empty());
    EXPECT_EQ(r.Pending, "B204");
    r.Notify("31 78");
    EXPECT_EQ(r.Actions.Lines, (std::vector<std::string>{"B2043178", "B2043178"}));
    EXPECT_EQ(r.Actions.Reports.at(0).Contact, 266);
}

TEST(LocoNetReceive, InputReportFormulaLimits)
{
    EXPECT_EQ(DecodeInputReport(0x7F, 0x2F).Contact, 4096);
    EXPECT_EQ(DecodeInputReport(0x7F, 0x2F).Level, 0);
    EXPECT_EQ(DecodeInputReport(0x00, 0x00).Contact, 1);
    EXPECT_EQ(DecodeInputReport(0x00, 0x00).Level, 0);
    // Feedback modules set the X bit (0x40); it does not enter the number.
    EXPECT_EQ(DecodeInputReport(0x08, 0x50).Contact, 17);
    EXPECT_EQ(DecodeInputReport(0x08, 0x50).Level, 1);
    EXPECT_EQ(DecodeInputReport(0x08, 0x70).Contact, 18);
}

TEST(LocoNetReceive, SwitchRequestsAreShownTwicePowerOnOnce)
{
    TReceiver r;
    r.Notify("B0 07 10 58 83 7C");
    EXPECT_EQ(r.Actions.Lines, (std::vector<std::string>{"B0071058", "B0071058", "837C"}));
}

TEST(LocoNetReceive, NothingOrALoneFFMeansNoCommandStation)
{
    TReceiver r;
    r.Notify("");
    EXPECT_EQ(r.Actions.Lines, std::vector<std::string>{kNoCentral});

    TReceiver ff;
    ff.Notify("FF");
    EXPECT_EQ(ff.Actions.Lines, std::vector<std::string>{kNoCentral});
    EXPECT_EQ(ff.Pending, "FF");
    // At the next notification the FF is dropped as unrecognised and the pass ends there...
    ff.Notify("83 7C");
    EXPECT_EQ(ff.Actions.Lines.size(), 1u);
    EXPECT_EQ(ff.Pending, "837C");
    // ...and what came with it is handled at the one after.
    ff.Notify("");
    EXPECT_EQ(ff.Actions.Lines, (std::vector<std::string>{kNoCentral, "837C"}));
}

TEST(LocoNetReceive, UnrecognisedByteDelaysTheMessageBehindItByOneNotification)
{
    TReceiver r;
    r.Notify("00 83 7C");
    EXPECT_TRUE(r.Actions.Lines.empty());
    EXPECT_EQ(r.Pending, "837C");
    r.Notify("");
    EXPECT_EQ(r.Actions.Lines, std::vector<std::string>{"837C"});
}

TEST(LocoNetReceive, CarriageReturnByteDiscardsEverythingPending)
{
    TReceiver front;
    front.Notify("0D 83 7C B0 07 10 58");
    EXPECT_TRUE(front.Actions.Lines.empty());
    EXPECT_EQ(front.Pending, "");
}

TEST(LocoNetReceive, BadChecksumIsNeitherShownNorActedOnAndTheScanGoesOn)
{
    TReceiver r;
    r.Notify("B2 04 31 79 83 7C");
    EXPECT_EQ(r.Actions.Lines, std::vector<std::string>{"837C"});
    EXPECT_TRUE(r.Actions.Reports.empty());
    EXPECT_EQ(r.Pending, "");

    // Alone, a rejected message stays pending until a later one is accepted.
    TReceiver alone;
    alone.Notify("B2 04 31 79");
    EXPECT_TRUE(alone.Actions.Lines.empty());
    EXPECT_EQ(alone.Pending, "B2043179");
    alone.Notify("83 7C");
    EXPECT_EQ(alone.Actions.Lines, std::vector<std::string>{"837C"});
    EXPECT_EQ(alone.Pending, "");
}

TEST(LocoNetReceive, SlotDataIsHandedOnAndClaimedOnlyForTheClaimSet)
{
    TReceiver r;
    const auto slot5 = WithChecksum(Bytes("E7 0E 05 03 00 00 00 07 00 00 00 00 00"));
    r.Notify(slot5);
    ASSERT_EQ(r.Actions.SlotDataMessages.size(), 1u);
    EXPECT_EQ(SlotToClaim(BytesOfHex(r.Actions.SlotDataMessages[0])), std::optional<std::uint8_t>(5));
    EXPECT_EQ(WithChecksum(TMessage{OPC_MOVE_SLOTS, 5, 5}), Bytes("BA 05 05 45"));

    EXPECT_EQ(SlotToClaim(WithChecksum(Bytes("E7 0E 05 01 00 00 00 07 00 00 00 00 00"))), std::nullopt);
    const std::set<int> claimSet{0x00, 0x02, 0x03, 0x10, 0x12, 0x13, 0x18, 0x23, 0x31, 0x32, 0x33};
    for (int status = 0; status < 256; ++status)
        EXPECT_EQ(IsSlotClaimStatus(std::uint8_t(status)), claimSet.count(status) == 1) << status;
    // Too short to hold a status byte: shown, not answered.
    EXPECT_EQ(SlotToClaim(Bytes("E7 03 05")), std::nullopt);

    // A claim that cannot be sent ends the pass; what it had accepted is not pending any more.
    TReceiver failing;
    failing.Actions.ReplyFails = true;
    std::vector<std::uint8_t> stream = Bytes("83 7C");
    stream.insert(stream.end(), slot5.begin(), slot5.end());
    stream.insert(stream.end(), {0x82, 0x7D});
    EXPECT_THROW(failing.Notify(stream), std::runtime_error);
    EXPECT_EQ(failing.Pending, "827D");
    EXPECT_EQ(failing.Actions.Lines, (std::vector<std::string>{"837C", "E70E050300000007000000000017"}));
}

TEST(LocoNetReceive, S88StatusReplyBeepsOnlyInItsOwnForm)
{
    TReceiver r;
    r.Notify("E5 0F 00 49 4B 11 06 05 7F 7F 00 00 0A 44 4B");
    EXPECT_EQ(r.Actions.Beeps, 1);
    EXPECT_EQ(r.Actions.Lines.size(), 1u);
    TReceiver other;
    other.Notify(WithChecksum(Bytes("E5 10 00 49 4B 11 06 05 7F 7F 00 00 0A 44 4B")));
    EXPECT_EQ(other.Actions.Beeps, 0);
    EXPECT_EQ(other.Actions.Lines.size(), 1u);
}

TEST(LocoNetReceive, CountOfZeroOrOneIsDroppedLikeAnUnrecognisedByte)
{
    TReceiver r;
    r.Notify("E7 00 83 7C");
    EXPECT_EQ(r.Pending, "00837C");
    r.Notify("");
    EXPECT_EQ(r.Pending, "837C");
    r.Notify("");
    EXPECT_EQ(r.Actions.Lines, std::vector<std::string>{"837C"});
    TReceiver one;
    one.Notify("E5 01");
    EXPECT_EQ(one.Pending, "01");
}

TEST(LocoNetReceive, CountedMessageWaitsForItsCountByte)
{
    TReceiver r;
    r.Notify("E7");
    EXPECT_EQ(r.Pending, "E7");
    EXPECT_TRUE(r.Actions.Lines.empty());
}

namespace {
// A stream of valid messages of every framing kind the configurator meets.
std::vector<std::uint8_t> ValidStream(std::mt19937& random, int messages)
{
    const std::vector<std::vector<std::uint8_t>> kinds{
        Bytes("83"), Bytes("82"), Bytes("B0 07 10"), Bytes("B2 04 31"), Bytes("B4 3B 00"),
        Bytes("BA 02 02"), Bytes("D0 01 02 03 04"), Bytes("7D 01 02 03 04"),
        Bytes("E7 0E 17 01 00 00 00 07 00 00 00 00 00"),
        Bytes("E5 10 00 49 4B 11 06 05 7F 7F 00 00 0A 44 4B"),
        Bytes("E0 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11"),
    };
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < messages; ++i) {
        auto m = kinds[random() % kinds.size()];
        if (m.size() > 2 && m[0] != 0xE7 && m[0] != 0xE5)
            m[1] = std::uint8_t(random() & 0x7F);
        const auto wire = WithChecksum(m);
        stream.insert(stream.end(), wire.begin(), wire.end());
    }
    return stream;
}
}

TEST(LocoNetReceive, SplittingTheStreamAnywhereChangesNothing)
{
    std::mt19937 random(7);
    const auto stream = ValidStream(random, 40);
    TReceiver whole;
    whole.Notify(stream);
    ASSERT_GE(whole.Actions.Lines.size(), 40u);

    for (std::size_t split = 1; split < stream.size(); ++split) {
        TReceiver r;
        r.Notify(std::vector<std::uint8_t>(stream.begin(), stream.begin() + std::ptrdiff_t(split)));
        r.Notify(std::vector<std::uint8_t>(stream.begin() + std::ptrdiff_t(split), stream.end()));
        ASSERT_EQ(r.Actions.Lines, whole.Actions.Lines) << "split at " << split;
        EXPECT_EQ(r.Pending, "");
    }
    for (int round = 0; round < 200; ++round) {
        TReceiver r;
        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t chunk = 1 + random() % 24;
            const std::size_t end = std::min(stream.size(), at + chunk);
            r.Notify(std::vector<std::uint8_t>(stream.begin() + std::ptrdiff_t(at), stream.begin() + std::ptrdiff_t(end)));
            at = end;
        }
        ASSERT_EQ(r.Actions.Lines, whole.Actions.Lines) << "round " << round;
    }
}

TEST(LocoNetReceive, NoiseStaysWithinTheCapAndLaterMessagesAreStillShown)
{
    std::mt19937 random(11);
    TReceiver r;
    std::vector<std::uint8_t> chunk(64);
    for (int i = 0; i < (1 << 20) / 64; ++i) {
        for (auto& b : chunk) {
            do
                b = std::uint8_t(random());
            while (b == 0x0D); // keep the noise from clearing itself
        }
        r.Notify(chunk);
        ASSERT_LE(HexByteCount(r.Pending), PendingCapBytes);
    }
    // A frame begun inside the noise may swallow the first valid bytes behind it, as it would on
    // a line that carries noise; traffic that goes on is shown again, and in order.
    std::vector<std::uint8_t> traffic;
    for (int i = 0; i < 50; ++i) {
        traffic.push_back(0x83);
        traffic.push_back(0x7C);
    }
    for (std::uint8_t b : Bytes("B2 04 31 78"))
        traffic.push_back(b);
    r.Notify(traffic);
    for (int i = 0; i < 2 * int(PendingCapBytes) && !r.Pending.empty(); ++i)
        r.Notify("");
    EXPECT_EQ(r.Pending, "");
    ASSERT_GE(r.Actions.Lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(r.Actions.Lines.end() - 3, r.Actions.Lines.end()),
              (std::vector<std::string>{"837C", "B2043178", "B2043178"}));
}

TEST(LocoNetSlotClaims, EachSlotOnceUntilForgotten)
{
    TSlotClaims claims;
    EXPECT_TRUE(claims.TryClaim(2));
    EXPECT_FALSE(claims.TryClaim(2));
    EXPECT_TRUE(claims.TryClaim(0));
    EXPECT_TRUE(claims.TryClaim(255));
    claims.Forget();
    EXPECT_TRUE(claims.TryClaim(2));
}
