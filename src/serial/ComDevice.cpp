// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComDevice.h"

TDCB ToDCB(const TLineSettings& s)
{
    TDCB dcb;
    dcb.BaudRate = s.BaudRate;
    std::uint32_t flags = DCBFlag::Binary;
    const auto flag = [&flags](bool on, std::uint32_t bit) {
        if (on)
            flags |= bit;
    };
    const bool errorChar = s.ParityCheck && s.ParityReplace;
    flag(s.ParityCheck, DCBFlag::Parity);
    flag(s.OutCTSFlow, DCBFlag::OutxCtsFlow);
    flag(s.OutDSRFlow, DCBFlag::OutxDsrFlow);
    flags |= std::uint32_t(s.DTRControl) << DCBFlag::DtrControlShift;
    flag(s.DSRSensitivity, DCBFlag::DsrSensitivity);
    flag(s.TxContinueOnXoff, DCBFlag::TXContinueOnXoff);
    flag(s.XonXoffOut, DCBFlag::OutX);
    flag(s.XonXoffIn, DCBFlag::InX);
    flag(errorChar, DCBFlag::ErrorChar);
    flag(s.DiscardNull, DCBFlag::Null);
    flags |= std::uint32_t(s.RTSControl) << DCBFlag::RtsControlShift;
    dcb.Flags = flags;
    dcb.XonLim = static_cast<std::uint16_t>(s.XonLimit);
    dcb.XoffLim = static_cast<std::uint16_t>(s.XoffLimit);
    dcb.ByteSize = static_cast<std::uint8_t>(s.DataBits);
    dcb.Parity = static_cast<std::uint8_t>(s.Parity);
    dcb.StopBits = static_cast<std::uint8_t>(s.StopBits);
    dcb.XonChar = s.XonChar;
    dcb.XoffChar = s.XoffChar;
    dcb.ErrorChar = errorChar ? s.ReplaceChar : char(0);
    dcb.EvtChar = s.EventChar;
    return dcb;
}
