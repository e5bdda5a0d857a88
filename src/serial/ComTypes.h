// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <initializer_list>

// The port's enumerations, their text forms, and small sets over them.

// A set of enumeration values, bit n standing for value n.
template <class E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> values)
    {
        for (E v : values)
            bits_ |= Bit(v);
    }
    static constexpr TSet FromBits(std::uint32_t bits)
    {
        TSet s;
        s.bits_ = bits;
        return s;
    }

    constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint32_t Bits() const { return bits_; }
    constexpr void Include(E v) { bits_ |= Bit(v); }
    constexpr void Exclude(E v) { bits_ &= ~Bit(v); }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr std::uint32_t Bit(E v) { return std::uint32_t{1} << static_cast<int>(v); }
    std::uint32_t bits_ = 0;
};

enum TBaudRate {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200, br128000, br256000,
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

enum TComEvent {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full,
};
using TComEvents = TSet<TComEvent>;
inline constexpr TComEvents AllComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak,
                                         evCTS, evDSR, evError, evRLSD, evRx80Full};

// Modem input lines, as LineSignals reports them.
enum TComSignal { csCTS, csDSR, csRing, csRLSD };
using TComSignals = TSet<TComSignal>;

// Line errors, as LineErrors reports them.
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
using TComErrors = TSet<TComError>;

// Device event mask bits, one per TComEvent.
namespace ComEventMask {
inline constexpr std::uint32_t RxChar = 0x0001;
inline constexpr std::uint32_t RxFlag = 0x0002;
inline constexpr std::uint32_t TxEmpty = 0x0004;
inline constexpr std::uint32_t Cts = 0x0008;
inline constexpr std::uint32_t Dsr = 0x0010;
inline constexpr std::uint32_t Rlsd = 0x0020;
inline constexpr std::uint32_t Break = 0x0040;
inline constexpr std::uint32_t Err = 0x0080;
inline constexpr std::uint32_t Ring = 0x0100;
inline constexpr std::uint32_t Rx80Full = 0x0400;
}

std::uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(std::uint32_t mask);
std::uint32_t EventToMaskBit(TComEvent event);

// The numeric rate of a TBaudRate (0 for brCustom).
std::uint32_t BaudRateValue(TBaudRate rate);

QString BaudRateToText(TBaudRate value);
QString StopBitsToText(TStopBits value);
QString DataBitsToText(TDataBits value);
QString ParityToText(TParityBits value);
QString FlowControlToText(TFlowControl value);

// Case-insensitive; a text that names no value gives br9600, sbOneStopBit, dbEight, prNone and
// fcCustom respectively.
TBaudRate TextToBaudRate(const QString& text);
TStopBits TextToStopBits(const QString& text);
TDataBits TextToDataBits(const QString& text);
TParityBits TextToParity(const QString& text);
TFlowControl TextToFlowControl(const QString& text);

// All text forms of a type, in the order of its values.
QStringList BaudRateTexts();
QStringList StopBitsTexts();
QStringList DataBitsTexts();
QStringList ParityTexts();
QStringList FlowControlTexts();
