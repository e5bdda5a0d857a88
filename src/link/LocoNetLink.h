// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LocoNet.h"
#include "LocoNetReceive.h"

#include <chrono>
#include <string>
#include <string_view>

class TCustomComPort;

// What a LocoNet link shows of the traffic it receives, and how its owner waits while it sends.
// The configurator's window and the command-line program each have their own.
class TLocoNetView {
public:
    virtual ~TLocoNetView() = default;

    // A receive pass begins and ends; the lines of a pass come between.
    virtual void PassBegins() {}
    virtual void PassEnds() {}
    // A line of the monitor: an accepted message as hex text, or the no-command-station line.
    virtual void AddLine(std::string_view line) = 0;
    // The line of a switch request or input report once more, as the window's pane shows them.
    virtual void AddLineAgain(std::string_view line) { AddLine(line); }
    // Each input report, in the order received.
    virtual void ShowInputReport(const LocoNet::TInputReport& report) = 0;
    virtual void Beep() = 0;
    // After each message of a pass has been checked: the window handles its pending events
    // here, so that what arrives meanwhile is answered while the pass goes on.
    virtual void ProcessPending() {}
    // A whole message has been written (before the pause after its last byte).
    virtual void MessageSent(const LocoNet::TMessage& message) { static_cast<void>(message); }
    // The pauses of the byte pacing. A view may end the send here by raising (a stop request):
    // the byte before the pause has gone out whole.
    virtual void Pause(std::chrono::milliseconds time);
};

// A LocoNet link over a serial port: messages go out one paced byte at a time; what comes in is
// kept as hex text, framed, checked and acted on (input reports shown, slot data in the claim set
// answered with a claim of the slot, each slot once, the command station's S88 status reply
// beeped). Runs on one thread; sends block it for their pacing.
class TLocoNetLink {
public:
    static constexpr std::chrono::milliseconds BytePause{20};
    static constexpr std::chrono::milliseconds SwitchPairPause{200};

    // The two texts belong to the owner: the configurator keeps them as its module's buffers.
    TLocoNetLink(TCustomComPort& port, TLocoNetView& view, std::string& pending, std::string& working);
    TLocoNetLink(const TLocoNetLink&) = delete;
    TLocoNetLink& operator=(const TLocoNetLink&) = delete;

    TCustomComPort& Port() const { return port_; }

    // The checksum appended, then each byte written alone with BytePause after it. A failed write
    // raises; the bytes already written stay sent.
    void SendMessage(const LocoNet::TMessage& message);
    // The switch-request pair for an address: output on, SwitchPairPause later output off.
    void SendSwitchRequest(int address, bool thrown);

    // Reads up to count bytes that arrived, adds them to the pending text and runs a pass.
    void Receive(int count);
    // One receive pass over the text (the pending text).
    void Parse(const std::string& text);
    bool Verify(const std::string& message);
    void ShowInputReport(const std::string& message);
    void HandleSlotData(const std::string& message);

    // A new exchange with the command station: each slot may be claimed once more.
    void ForgetClaimedSlots() { claims_.Forget(); }
    // A new connection: bytes from an earlier one (or at another rate) cannot complete a message
    // on it. The pending and working texts are emptied (at the end of the pass that is running,
    // if one is) and the claimed slots forgotten.
    void Reset();

private:
    class TPass;
    void ResetTexts();

    TCustomComPort& port_;
    TLocoNetView& view_;
    std::string& pending_;
    std::string& working_;
    LocoNet::TSlotClaims claims_;
    bool passRunning_ = false;
    bool resetWhenPassEnds_ = false;
};

// The port of a serial LocoNet interface as the configurator keeps it: 19200 baud, 8 data bits,
// no parity, one stop bit, RTS/CTS handshake with DTR held off, no queue sizes asked for, and the
// events received characters, CTS and DSR.
void StoreLocoNetPortSettings(TCustomComPort& port);
// Once the port is open: hardware flow control at 19200 baud (the buffered interfaces' rate),
// none at any other rate.
void SetFlowControlForRate(TCustomComPort& port);
