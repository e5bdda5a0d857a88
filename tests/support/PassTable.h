// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LocoNet.h"

#include <cstddef>
#include <vector>

// What a programming pass sends for each version and choice, apart from the slot claims that
// answer the command station, with first contact 17 and 16 contacts. The window and the
// command-line program are both checked against this one table, so that they cannot drift apart.
struct TPassCase {
    const char* Name;
    const char* Version;      // as sentrax-program takes it
    const char* Monitor;      // its --monitor, or nullptr
    int RadioButton;          // the window's version button, 1 to 3
    bool CurrentMonitorOn;    // the window's "Current Monitor On" rather than its other button
    std::vector<LocoNet::TMessage> Sent; // without checksums
};

inline const std::vector<TPassCase>& PassCases()
{
    const std::vector<LocoNet::TMessage> start{
        {0x83}, {0xBB, 0x17, 0x00}, {0xBF, 0x00, 0x50}, {0xBF, 0x00, 0x0C}, {0xBB, 0x00, 0x00}, {0xBA, 0x02, 0x02}, {0xBB, 0x00, 0x08},
    };
    const auto pass = [&](std::uint8_t firstOn, std::uint8_t firstOff) {
        std::vector<LocoNet::TMessage> sent = start;
        sent.push_back({0xB0, 0x10, firstOn}); // contact 17: (17 - 1) & 0x7F, high part 0
        sent.push_back({0xB0, 0x10, firstOff});
        sent.push_back({0xB0, 0x0F, 0x10}); // 16 contacts, as "Range" sends them: direction bit clear
        sent.push_back({0xB0, 0x0F, 0x00});
        return sent;
    };
    static const std::vector<TPassCase> cases{
        {"Version10or12", "1.2", nullptr, 1, false, pass(0x10, 0x00)},
        {"Version11", "1.1", "on", 2, true, pass(0x30, 0x20)},
        {"Version11CountingOn", "1.1", "off", 2, false, pass(0x10, 0x00)},
        {"Kwadrant", "kwadrant", nullptr, 3, false, pass(0x10, 0x00)},
    };
    return cases;
}

// What a port saw, against what was expected there in order (checksums included): the slot
// claims (BA s s) that came between, anything else that came, and how many of the expected
// messages came in their order.
struct TSeenPass {
    std::size_t InOrder = 0;
    std::vector<LocoNet::TMessage> Claims;
    std::vector<LocoNet::TMessage> Unexpected;
};
inline TSeenPass SeenPass(const std::vector<LocoNet::TMessage>& seen, const std::vector<LocoNet::TMessage>& expected)
{
    TSeenPass pass;
    for (const LocoNet::TMessage& m : seen) {
        if (pass.InOrder < expected.size() && m == expected[pass.InOrder])
            ++pass.InOrder;
        else if (m.size() == 4 && m[0] == 0xBA && m[1] == m[2])
            pass.Claims.push_back(m);
        else
            pass.Unexpected.push_back(m);
    }
    return pass;
}

inline std::vector<LocoNet::TMessage> AllOnWire(const std::vector<LocoNet::TMessage>& messages)
{
    std::vector<LocoNet::TMessage> wire;
    for (const LocoNet::TMessage& m : messages)
        wire.push_back(LocoNet::WithChecksum(m));
    return wire;
}
