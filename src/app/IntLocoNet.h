// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LocoNet.h"
#include "LocoNetLink.h"

#include <optional>
#include <string>

class TfrmSentrax;

// The configurator's LocoNet routines. They work through the window frmSentrax: its LocoNet link
// sends over ComPort1 and shows what arrives in the window.

using LocoNet::VersionStartMessages;

// Appends the checksum and writes the message to ComPort1 one byte at a time, 20 ms after each
// byte. A failed write raises EComPort; the bytes already written stay sent.
void SendLocoNetMessage(const LocoNet::TMessage& message);
// The switch-request pair for an address (1-based, as entered): output on, 200 ms later output
// off; the direction bit set when thrown is false. Addresses outside 0..2048 are refused
// before anything is sent.
void SendSwitchRequest(int address, bool thrown);

// One framing pass over the pending hex text.
void ParseLocoNetText(const std::string& text);
// Checks a framed message (hex text), then lets the window process what is waiting, once.
bool VerifyLocoNetMessage(const std::string& message);
// Shows the contact number and level of an input report in Edit3 and Edit4.
void ShowInputReport(const std::string& message);
// Answers slot data in the claim set with a claim of the slot, once per slot.
void HandleSlotData(const std::string& message);

// The window as a LocoNet link shows traffic: lines in the monitor pane Memo1, the last reported
// contact in Edit3 and Edit4; between the messages of a pass, the window's pending events run.
class TWindowLocoNetView final : public TLocoNetView {
public:
    explicit TWindowLocoNetView(TfrmSentrax& form) : form_(form) {}
    void PassBegins() override;
    void PassEnds() override;
    void AddLine(std::string_view line) override;
    void ShowInputReport(const LocoNet::TInputReport& report) override;
    void Beep() override;
    void ProcessPending() override;

private:
    void ShowContact(const LocoNet::TInputReport& report);

    TfrmSentrax& form_;
    bool inPass_ = false;
    std::optional<LocoNet::TInputReport> lastReport_; // of the pass that runs
};
