// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocoNetReceive.h"

#include "LocoNet.h"

namespace LocoNet {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}
}

void AppendHex(std::string& text, std::span<const std::uint8_t> bytes)
{
    text.reserve(text.size() + 2 * bytes.size());
    for (std::uint8_t b : bytes) {
        text += kHexDigits[b >> 4];
        text += kHexDigits[b & 0x0F];
    }
}

std::uint8_t HexByte(std::string_view text, std::size_t index)
{
    return static_cast<std::uint8_t>(HexValue(text[2 * index]) * 16 + HexValue(text[2 * index + 1]));
}

std::size_t HexByteCount(std::string_view text)
{
    return text.size() / 2;
}

std::vector<std::uint8_t> BytesOfHex(std::string_view text)
{
    std::vector<std::uint8_t> bytes(HexByteCount(text));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = HexByte(text, i);
    return bytes;
}

TFrameRule FrameRuleOf(std::uint8_t b)
{
    switch (b) {
    case 0x81: case 0x82: case 0x83: case 0x85: case 0x88: case 0x89:
        return {TFraming::Fixed, 2};
    case 0xA0: case 0xA1: case 0xA2: case 0xA3:
    case 0xB0: case 0xB1: case 0xB2:
    case 0xB4: case 0xB5: case 0xB6:
    case 0xB8: case 0xB9: case 0xBA: case 0xBB: case 0xBC: case 0xBD:
    case 0xBF:
        return {TFraming::Fixed, 4};
    case 0x7D: case 0xD0: case 0xD1: case 0xDF:
        return {TFraming::Fixed, 6};
    case 0xE0:
        return {TFraming::Fixed, 19};
    case 0xE4: case 0xE5: case 0xE6: case 0xE7: case 0xED: case 0xEF:
        return {TFraming::Counted, 0};
    case 0x0D:
        return {TFraming::DiscardAll, 0};
    default:
        return {TFraming::Unrecognised, 0};
    }
}

void ParsePass(std::string text, std::string& pending, std::string& working, TPassActions& actions)
{
    // The pass keeps offsets into the text instead of cutting strings after every message; the
    // two texts are written when the pass ends. Between messages nobody reads them.
    working = std::move(text);
    std::size_t scan = 0;                  // start of the unscanned rest of working
    std::size_t pendingFrom = std::string::npos; // pending = working[pendingFrom..] once set
    const auto finish = [&] {
        if (pendingFrom != std::string::npos)
            pending.assign(working, pendingFrom);
        working.erase(0, scan);
    };
    const auto dropFirstByte = [&] {
        pendingFrom = scan + 2;
        finish();
    };

    try {
        for (;;) {
            const std::string_view rest = std::string_view(working).substr(scan);
            if (rest.empty() || rest == "FF") {
                actions.AddLine(NoCentralLine);
                return finish();
            }
            const std::size_t available = HexByteCount(rest);
            const TFrameRule rule = FrameRuleOf(HexByte(rest, 0));
            std::size_t length = 0;
            switch (rule.Kind) {
            case TFraming::DiscardAll:
                working.clear();
                pending.clear();
                return;
            case TFraming::Unrecognised:
                return dropFirstByte();
            case TFraming::Counted:
                if (available < 2)
                    return finish();
                length = HexByte(rest, 1);
                // A count of 0 or 1 frames no message (0 would never get past itself): the byte is
                // treated as unrecognised.
                if (length < 2)
                    return dropFirstByte();
                break;
            case TFraming::Fixed:
                length = static_cast<std::size_t>(rule.Length);
                break;
            }
            if (available < length)
                return finish();

            const std::string message(rest.substr(0, 2 * length));
            const bool accepted = actions.Verify(message);
            scan += message.size();
            if (accepted) {
                actions.AddLine(message);
                pendingFrom = scan;
                const auto bytes = BytesOfHex(message);
                switch (bytes[0]) {
                case OPC_SW_REQ:
                    actions.AddLineAgain(message);
                    break;
                case OPC_INPUT_REP:
                    actions.AddLineAgain(message);
                    actions.InputReport(message);
                    break;
                case OPC_PEER_XFER:
                    if (IsS88StatusReply(bytes))
                        actions.Beep();
                    break;
                case OPC_SL_RD_DATA:
                    actions.SlotData(message);
                    break;
                default:
                    break;
                }
            }
            if (scan == working.size())
                return finish();
        }
    } catch (...) {
        // An action raised (a reply could not be sent). What the pass accepted before is done
        // with all the same: the pending text loses it, as if it had been cut message by message.
        finish();
        throw;
    }
}

void CapPending(std::string& pending, std::size_t maxBytes)
{
    if (pending.size() > 2 * maxBytes)
        pending.erase(0, pending.size() - 2 * maxBytes);
}

TInputReport DecodeInputReport(std::uint8_t in1, std::uint8_t in2)
{
    const int contact = 2 * in1 + 256 * (in2 & 0x0F) + ((in2 & 0x20) ? 1 : 0) + 1;
    return {contact, (in2 & 0x10) ? 1 : 0};
}

bool IsSlotClaimStatus(std::uint8_t status)
{
    switch (status) {
    case 0x00: case 0x02: case 0x03:
    case 0x10: case 0x12: case 0x13:
    case 0x18:
    case 0x23:
    case 0x31: case 0x32: case 0x33:
        return true;
    default:
        return false;
    }
}

std::optional<std::uint8_t> SlotToClaim(std::span<const std::uint8_t> slotData)
{
    if (slotData.size() < 4 || !IsSlotClaimStatus(slotData[3]))
        return std::nullopt;
    return slotData[2];
}

bool IsS88StatusReply(std::span<const std::uint8_t> message)
{
    return message.size() >= 6 && message[0] == OPC_PEER_XFER && message[1] == 0x0F
        && message[5] == 0x11;
}

bool TSlotClaims::TryClaim(std::uint8_t slot)
{
    if (claimed_.test(slot))
        return false;
    claimed_.set(slot);
    return true;
}

} // namespace LocoNet
