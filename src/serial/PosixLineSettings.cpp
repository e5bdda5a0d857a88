// SPDX-License-Identifier: GPL-3.0-or-later
#include "PosixLineSettings.h"

#include <cerrno>

int PosixLineFor(const TLineSettings& s, TPosixLine& line)
{
    // No form in the tty layer, and nothing that looking at the bytes read could make up for:
    // output flow on DSR, DSR sensitivity, DTR handshake, RTS toggling, replacing bytes with a
    // parity error. CRTSCTS is both directions or neither, so CTS output flow comes only with RTS
    // handshaking.
    const bool rtsByHandshake = s.RTSControl == rtsHandshake;
    if (s.OutDSRFlow || s.DSRSensitivity || s.DTRControl == dtrHandshake || s.RTSControl == rtsToggle
        || (s.ParityCheck && s.ParityReplace) || s.OutCTSFlow != rtsByHandshake)
        return EINVAL;
    if (s.BaudRate == 0 || s.DataBits < 5 || s.DataBits > 8 || s.Parity < prNone || s.Parity > prSpace)
        return EINVAL;
    // One and a half stop bits exist only with five data bits (where CSTOPB means exactly that),
    // two only with more.
    if ((s.StopBits == sbOne5StopBits && s.DataBits != 5) || (s.StopBits == sbTwoStopBits && s.DataBits == 5)
        || s.StopBits < sbOneStopBit || s.StopBits > sbTwoStopBits)
        return EINVAL;
    // Not applied because Linux already behaves so or the setting means nothing here:
    // TxContinueOnXoff (Linux keeps sending after it sent XOFF), the XON/XOFF limits (the kernel
    // uses fixed thresholds).

    TLineConfig& t = line.Termios;
    t.BaudRate = s.BaudRate;
    t.ByteSize = s.DataBits;
    t.Parity = int(s.Parity);
    t.StopBit2 = s.StopBits != sbOneStopBit;
    t.ParityCheck = s.ParityCheck;
    t.HardwareFlow = s.OutCTSFlow;
    t.XonXoffOut = s.XonXoffOut;
    t.XonXoffIn = s.XonXoffIn;
    t.XonChar = s.XonChar;
    t.XoffChar = s.XoffChar;
    line.DriveRts = !s.OutCTSFlow;
    line.Rts = s.RTSControl == rtsEnable;
    line.Dtr = s.DTRControl == dtrEnable;
    line.DiscardNull = s.DiscardNull;
    line.EventChar = s.EventChar;
    return 0;
}
