// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocoNet.h"

#include <gtest/gtest.h>

using namespace LocoNet;

namespace {
TMessage Wire(std::initializer_list<std::uint8_t> bytes)
{
    const TMessage m(bytes);
    return WithChecksum(m);
}
}

TEST(LocoNetChecksum, SingleByteAndEmptyMessages)
{
    EXPECT_EQ(Wire({0x83}), (TMessage{0x83, 0x7C}));
    EXPECT_EQ(Wire({0x82}), (TMessage{0x82, 0x7D}));
    EXPECT_EQ(Wire({}), (TMessage{0xFF}));
}

TEST(LocoNetChecksum, ZeroBytesAreOrdinaryData)
{
    EXPECT_EQ(Wire({0xBB, 0x00, 0x00}), (TMessage{0xBB, 0x00, 0x00, 0x44}));
}

TEST(LocoNetChecksum, ValidMessagesXorToFF)
{
    EXPECT_TRUE(ChecksumValid(TMessage{0xB2, 0x04, 0x31, 0x78}));
    EXPECT_FALSE(ChecksumValid(TMessage{0xB2, 0x04, 0x31, 0x79}));
    EXPECT_FALSE(ChecksumValid(TMessage{}));
    for (int b = 0; b < 256; ++b)
        EXPECT_TRUE(ChecksumValid(Wire({std::uint8_t(b), 0x12, 0x34})));
}

TEST(LocoNetStartMessages, GoOutWithTheirChecksums)
{
    const std::vector<TMessage> expected{
        {0x83, 0x7C}, {0xBB, 0x17, 0x00, 0x53}, {0xBF, 0x00, 0x50, 0x10}, {0xBF, 0x00, 0x0C, 0x4C},
        {0xBB, 0x00, 0x00, 0x44}, {0xBA, 0x02, 0x02, 0x45}, {0xBB, 0x00, 0x08, 0x4C},
    };
    ASSERT_EQ(VersionStartMessages.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(WithChecksum(VersionStartMessages[i]), expected[i]) << "message " << i + 1;
}

struct TSwitchCase {
    int Address;
    bool Thrown;
    TMessage On;
    TMessage Off;
};

class LocoNetSwitchRequest : public testing::TestWithParam<TSwitchCase> {};

TEST_P(LocoNetSwitchRequest, BytesOnTheWire)
{
    const auto& c = GetParam();
    const TSwitchRequestPair pair = SwitchRequestPair(c.Address, c.Thrown);
    EXPECT_EQ(WithChecksum(pair.OutputOn), c.On);
    EXPECT_EQ(WithChecksum(pair.OutputOff), c.Off);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, LocoNetSwitchRequest,
    testing::Values(TSwitchCase{1, false, {0xB0, 0x00, 0x30, 0x7F}, {0xB0, 0x00, 0x20, 0x6F}},
                    TSwitchCase{1, true, {0xB0, 0x00, 0x10, 0x5F}, {0xB0, 0x00, 0x00, 0x4F}},
                    TSwitchCase{8, true, {0xB0, 0x07, 0x10, 0x58}, {0xB0, 0x07, 0x00, 0x48}},
                    // the high part moves into byte 3
                    TSwitchCase{129, false, {0xB0, 0x00, 0x31, 0x7E}, {0xB0, 0x00, 0x21, 0x6E}},
                    // the largest address that can be carried
                    TSwitchCase{2048, true, {0xB0, 0x7F, 0x1F, 0x2F}, {0xB0, 0x7F, 0x0F, 0x3F}},
                    TSwitchCase{2048, false, {0xB0, 0x7F, 0x3F, 0x0F}, {0xB0, 0x7F, 0x2F, 0x1F}},
                    // -1 / 128 truncates to 0: the same bytes as address 128
                    TSwitchCase{0, true, {0xB0, 0x7F, 0x10, 0x20}, {0xB0, 0x7F, 0x00, 0x30}},
                    TSwitchCase{128, true, {0xB0, 0x7F, 0x10, 0x20}, {0xB0, 0x7F, 0x00, 0x30}}),
    [](const auto& info) {
        return "Address" + std::to_string(info.param.Address) + (info.param.Thrown ? "Thrown" : "Closed");
    });

TEST(LocoNetSwitchRequestRange, AddressesThatWouldCorruptTheControlBitsAreRefused)
{
    for (int address : {2049, 4096, 100000, -1, -129}) {
        EXPECT_THROW(SwitchRequestPair(address, true), ESwitchAddressRange) << address;
    }
    try {
        SwitchRequestPair(2049, false);
    } catch (const ESwitchAddressRange& e) {
        EXPECT_EQ(e.Address(), 2049);
        EXPECT_NE(std::string(e.what()).find("2049"), std::string::npos);
    }
}

TEST(LocoNetSwitchRequestRange, EveryCarriedAddressDecodesBack)
{
    // The bus rule: address = (SW2 AND 0x0F) * 128 + SW1 + 1; bit 7 clear in every data byte.
    for (int address = 1; address <= MaxSwitchAddress; ++address) {
        for (bool thrown : {false, true}) {
            const auto pair = SwitchRequestPair(address, thrown);
            for (const TMessage* m : {&pair.OutputOn, &pair.OutputOff}) {
                ASSERT_EQ(m->size(), 3u);
                EXPECT_EQ(((*m)[2] & 0x0F) * 128 + (*m)[1] + 1, address);
                EXPECT_EQ((*m)[1] & 0x80, 0);
                EXPECT_EQ((*m)[2] & 0x80, 0);
                EXPECT_EQ(((*m)[2] & 0x20) != 0, !thrown);
            }
            EXPECT_EQ(pair.OutputOn[2] & 0x10, 0x10);
            EXPECT_EQ(pair.OutputOff[2] & 0x10, 0);
        }
    }
}
