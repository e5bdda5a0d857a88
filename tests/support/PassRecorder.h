// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LocoNet.h"
#include "LocoNetReceive.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// What a receive pass does, with no window behind it: messages checked by the checksum rule,
// lines, input reports and slot data recorded, slots claimed once each (the claims are noted,
// not sent). Record false only counts lines and decodes (for measuring); ReplyFails makes
// answering slot data raise, as a claim whose write fails does.
struct TPassRecorder final : LocoNet::TPassActions {
    bool Record = true;
    bool ReplyFails = false;
    std::size_t LineCount = 0;
    std::vector<std::string> Lines;
    std::vector<LocoNet::TInputReport> Reports;
    LocoNet::TInputReport LastReport{};
    std::size_t ReportCount = 0;
    std::vector<std::string> SlotDataMessages;
    std::vector<std::uint8_t> Claimed;
    LocoNet::TSlotClaims Claims;
    int Beeps = 0;

    bool Verify(const std::string& message) override { return LocoNet::ChecksumValid(LocoNet::BytesOfHex(message)); }
    void AddLine(std::string_view line) override
    {
        ++LineCount;
        if (Record)
            Lines.emplace_back(line);
    }
    void InputReport(const std::string& message) override
    {
        const auto bytes = LocoNet::BytesOfHex(message);
        LastReport = LocoNet::DecodeInputReport(bytes[1], bytes[2]);
        ++ReportCount;
        if (Record)
            Reports.push_back(LastReport);
    }
    void SlotData(const std::string& message) override
    {
        if (Record)
            SlotDataMessages.push_back(message);
        if (const auto slot = LocoNet::SlotToClaim(LocoNet::BytesOfHex(message)); slot && Claims.TryClaim(*slot))
            Claimed.push_back(*slot);
        if (ReplyFails)
            throw std::runtime_error("the claim could not be sent");
    }
    void Beep() override { ++Beeps; }
};
