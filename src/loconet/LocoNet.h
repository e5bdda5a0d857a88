// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace LocoNet {

// A LocoNet message: the opcode, then the data bytes; on the wire the checksum follows.
using TMessage = std::vector<std::uint8_t>;

// 0xFF minus the XOR of all bytes; the checksum of the empty message is 0xFF.
std::uint8_t Checksum(std::span<const std::uint8_t> bytes);
// The message as it goes on the wire: its bytes followed by their checksum.
TMessage WithChecksum(std::span<const std::uint8_t> bytes);
// A received message (checksum included) is good when all its bytes XOR to 0xFF.
bool ChecksumValid(std::span<const std::uint8_t> message);

inline constexpr std::uint8_t OPC_GPOFF = 0x82;
inline constexpr std::uint8_t OPC_GPON = 0x83;
inline constexpr std::uint8_t OPC_SW_REQ = 0xB0;
inline constexpr std::uint8_t OPC_INPUT_REP = 0xB2;
inline constexpr std::uint8_t OPC_MOVE_SLOTS = 0xBA;
inline constexpr std::uint8_t OPC_PEER_XFER = 0xE5;
inline constexpr std::uint8_t OPC_SL_RD_DATA = 0xE7;

// What every module version is sent first, without checksums: global power on, then requests
// for slot data and locomotive addresses and a slot move that put the Sentrax into its
// programming mode.
extern const std::array<TMessage, 7> VersionStartMessages;

// Switch requests carry the 1-based address in 11 bits. Address 0 is accepted and goes out as
// address 128 does (the high part of -1 truncates to 0); anything else outside 1..2048 would run
// into the control bits and the opcode bit, so it is refused before a byte is sent.
inline constexpr int MinSwitchAddress = 0;
inline constexpr int MaxSwitchAddress = 2048;

class ESwitchAddressRange : public std::range_error {
public:
    explicit ESwitchAddressRange(int address);
    int Address() const noexcept { return address_; }

private:
    int address_;
};

// The two switch requests of one setting, without checksums: output on, then output off.
// thrown = false sets the direction bit in both, thrown = true clears it.
struct TSwitchRequestPair {
    TMessage OutputOn;
    TMessage OutputOff;
};
TSwitchRequestPair SwitchRequestPair(int address, bool thrown);

} // namespace LocoNet
