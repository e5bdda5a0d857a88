// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComTypes.h"

#include <gtest/gtest.h>

TEST(ComTypes, TextConversionsCompareIgnoringCaseWithFixedFallbacks)
{
    EXPECT_EQ(TextToBaudRate(QStringLiteral("19200")), br19200);
    EXPECT_EQ(TextToBaudRate(QStringLiteral("custom")), brCustom);
    EXPECT_EQ(TextToBaudRate(QStringLiteral("abc")), br9600);
    EXPECT_EQ(TextToFlowControl(QStringLiteral("xyz")), fcCustom);
    EXPECT_EQ(TextToFlowControl(QStringLiteral("hardware")), fcHardware);
    EXPECT_EQ(TextToStopBits(QStringLiteral("1.5")), sbOne5StopBits);
    EXPECT_EQ(TextToStopBits(QStringLiteral("3")), sbOneStopBit);
    EXPECT_EQ(TextToDataBits(QStringLiteral("9")), dbEight);
    EXPECT_EQ(TextToParity(QStringLiteral("SPACE")), prSpace);
    EXPECT_EQ(TextToParity(QStringLiteral("")), prNone);
}

TEST(ComTypes, EveryValueRoundTripsThroughItsText)
{
    for (int v = brCustom; v <= br256000; ++v)
        EXPECT_EQ(TextToBaudRate(BaudRateToText(TBaudRate(v))), v);
    for (int v = sbOneStopBit; v <= sbTwoStopBits; ++v)
        EXPECT_EQ(TextToStopBits(StopBitsToText(TStopBits(v))), v);
    for (int v = dbFive; v <= dbEight; ++v)
        EXPECT_EQ(TextToDataBits(DataBitsToText(TDataBits(v))), v);
    for (int v = prNone; v <= prSpace; ++v)
        EXPECT_EQ(TextToParity(ParityToText(TParityBits(v))), v);
    for (int v = fcHardware; v <= fcCustom; ++v)
        EXPECT_EQ(TextToFlowControl(FlowControlToText(TFlowControl(v))), v);
    EXPECT_EQ(BaudRateTexts().first(), QStringLiteral("Custom"));
    EXPECT_EQ(BaudRateTexts().size(), 16);
    EXPECT_EQ(BaudRateValue(br14400), 14400u);
    EXPECT_EQ(BaudRateValue(br256000), 256000u);
}

TEST(ComTypes, EventMaskIsTheDeviceBitOfEachEvent)
{
    EXPECT_EQ(EventsToMask({evRxChar, evCTS, evDSR}), 0x0019u);
    const std::pair<TComEvent, std::uint32_t> table[] = {
        {evRxChar, 0x0001}, {evTxEmpty, 0x0004}, {evRxFlag, 0x0002}, {evRing, 0x0100}, {evBreak, 0x0040},
        {evCTS, 0x0008},    {evDSR, 0x0010},     {evError, 0x0080},  {evRLSD, 0x0020}, {evRx80Full, 0x0400},
    };
    for (const auto& [event, bit] : table) {
        EXPECT_EQ(EventsToMask({event}), bit);
        EXPECT_EQ(MaskToEvents(bit), TComEvents{event});
    }
    EXPECT_EQ(MaskToEvents(EventsToMask(AllComEvents)), AllComEvents);
    EXPECT_EQ(MaskToEvents(0x0200 | 0x0800 | 0x0001), TComEvents{evRxChar}); // other bits ignored
}
