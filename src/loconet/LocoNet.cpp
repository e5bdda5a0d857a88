// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocoNet.h"

#include <string>

namespace LocoNet {

std::uint8_t Checksum(std::span<const std::uint8_t> bytes)
{
    std::uint8_t x = 0;
    for (std::uint8_t b : bytes)
        x ^= b;
    return static_cast<std::uint8_t>(0xFF - x);
}

TMessage WithChecksum(std::span<const std::uint8_t> bytes)
{
    TMessage wire(bytes.begin(), bytes.end());
    wire.push_back(Checksum(bytes));
    return wire;
}

bool ChecksumValid(std::span<const std::uint8_t> message)
{
    if (message.empty())
        return false;
    return Checksum(message.first(message.size() - 1)) == message.back();
}

const std::array<TMessage, 7> VersionStartMessages{{
    {0x83},
    {0xBB, 0x17, 0x00},
    {0xBF, 0x00, 0x50},
    {0xBF, 0x00, 0x0C},
    {0xBB, 0x00, 0x00},
    {0xBA, 0x02, 0x02},
    {0xBB, 0x00, 0x08},
}};

ESwitchAddressRange::ESwitchAddressRange(int address)
    : std::range_error("Switch address " + std::to_string(address)
                       + " cannot be sent: LocoNet switch requests carry addresses "
                       + std::to_string(MinSwitchAddress) + " to "
                       + std::to_string(MaxSwitchAddress))
    , address_(address)
{
}

TSwitchRequestPair SwitchRequestPair(int address, bool thrown)
{
    if (address < MinSwitchAddress || address > MaxSwitchAddress)
        throw ESwitchAddressRange(address);
    const int n = address - 1;
    const auto low = static_cast<std::uint8_t>(n & 0x7F);
    const int high = n / 128; // truncates toward zero: -1 / 128 == 0
    constexpr int kClosed = 0x20;
    constexpr int kOutputOn = 0x10;
    const int direction = thrown ? 0 : kClosed;
    return {
        {OPC_SW_REQ, low, static_cast<std::uint8_t>(high + direction + kOutputOn)},
        {OPC_SW_REQ, low, static_cast<std::uint8_t>(high + direction)},
    };
}

} // namespace LocoNet
