// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// What a control that follows a port (a signal LED, say) hands to it: the port calls whichever
// of these handlers are assigned, in the order the links were attached.
class TComLink {
public:
    std::function<void(bool on)> OnConn;                          // after open / after close
    std::function<void(const char* buffer, int count)> OnRxBuf;   // received data, when read for links
    std::function<void(const char* buffer, int count)> OnTxBuf;   // after each completed write
    std::function<void()> OnTxEmpty;                              // transmit queue empty
    std::function<void()> OnRxFlag;                               // event character received
    std::function<void(bool on)> OnCTSChange;
    std::function<void(bool on)> OnDSRChange;
    std::function<void(bool on)> OnRLSDChange;
    std::function<void()> OnRing;
    std::function<void(bool on)> OnTx; // transmit activity
    std::function<void(bool on)> OnRx; // receive activity
};
