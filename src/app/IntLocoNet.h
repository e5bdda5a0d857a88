#pragma once

#include "LocoNet.h"

#include <string>

// The configurator's LocoNet routines: they send through, and show what arrives in, the window
// frmSentrax and its port ComPort1. The byte logic itself is in the loconet library.

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
// Forgets which slots were claimed: a version's start messages, or a newly opened port, begin a
// new exchange with the command station.
void ForgetClaimedSlots();
