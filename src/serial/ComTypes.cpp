// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComTypes.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace {
// In the order of RunEventHandlers' table of mask bits: TComEvent value -> mask bit.
constexpr std::array<std::uint32_t, 10> kEventMaskBits{
    ComEventMask::RxChar, ComEventMask::TxEmpty, ComEventMask::RxFlag, ComEventMask::Ring,
    ComEventMask::Break,  ComEventMask::Cts,     ComEventMask::Dsr,    ComEventMask::Err,
    ComEventMask::Rlsd,   ComEventMask::Rx80Full,
};

constexpr std::array<const char*, 16> kBaudRateTexts{
    "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000",
};
constexpr std::array<std::uint32_t, 16> kBaudRateValues{
    0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000,
};
constexpr std::array<const char*, 3> kStopBitsTexts{"1", "1.5", "2"};
constexpr std::array<const char*, 4> kDataBitsTexts{"5", "6", "7", "8"};
constexpr std::array<const char*, 5> kParityTexts{"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> kFlowControlTexts{"Hardware", "Software", "None", "Custom"};

template <std::size_t N>
QStringList TextsOf(const std::array<const char*, N>& texts)
{
    QStringList list;
    for (const char* t : texts)
        list << QString::fromLatin1(t);
    return list;
}

template <class E, std::size_t N>
E TextToValue(const std::array<const char*, N>& texts, const QString& text, E fallback)
{
    // The first value whose text equals the given one, both in upper case.
    const auto it = std::find_if(texts.begin(), texts.end(), [&](const char* t) {
        return QString::fromLatin1(t).compare(text, Qt::CaseInsensitive) == 0;
    });
    return it == texts.end() ? fallback : static_cast<E>(it - texts.begin());
}
}

std::uint32_t EventToMaskBit(TComEvent event)
{
    return kEventMaskBits[static_cast<std::size_t>(event)];
}

std::uint32_t EventsToMask(TComEvents events)
{
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kEventMaskBits.size(); ++i) {
        if (events.Contains(static_cast<TComEvent>(i)))
            mask |= kEventMaskBits[i];
    }
    return mask;
}

TComEvents MaskToEvents(std::uint32_t mask)
{
    TComEvents events;
    for (std::size_t i = 0; i < kEventMaskBits.size(); ++i) {
        if (mask & kEventMaskBits[i])
            events.Include(static_cast<TComEvent>(i));
    }
    return events;
}

std::uint32_t BaudRateValue(TBaudRate rate)
{
    return kBaudRateValues[static_cast<std::size_t>(rate)];
}

QString BaudRateToText(TBaudRate value) { return QString::fromLatin1(kBaudRateTexts[value]); }
QString StopBitsToText(TStopBits value) { return QString::fromLatin1(kStopBitsTexts[value]); }
QString DataBitsToText(TDataBits value) { return QString::fromLatin1(kDataBitsTexts[value]); }
QString ParityToText(TParityBits value) { return QString::fromLatin1(kParityTexts[value]); }
QString FlowControlToText(TFlowControl value) { return QString::fromLatin1(kFlowControlTexts[value]); }

TBaudRate TextToBaudRate(const QString& text) { return TextToValue(kBaudRateTexts, text, br9600); }
TStopBits TextToStopBits(const QString& text) { return TextToValue(kStopBitsTexts, text, sbOneStopBit); }
TDataBits TextToDataBits(const QString& text) { return TextToValue(kDataBitsTexts, text, dbEight); }
TParityBits TextToParity(const QString& text) { return TextToValue(kParityTexts, text, prNone); }
TFlowControl TextToFlowControl(const QString& text) { return TextToValue(kFlowControlTexts, text, fcCustom); }

QStringList BaudRateTexts() { return TextsOf(kBaudRateTexts); }
QStringList StopBitsTexts() { return TextsOf(kStopBitsTexts); }
QStringList DataBitsTexts() { return TextsOf(kDataBitsTexts); }
QStringList ParityTexts() { return TextsOf(kParityTexts); }
QStringList FlowControlTexts() { return TextsOf(kFlowControlTexts); }
