// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace LocoNet {

// Received bytes are kept as hex text: two upper-case hexadecimal digits per byte, no separators.
void AppendHex(std::string& text, std::span<const std::uint8_t> bytes);
// Byte `index` (0-based) of a hex text.
std::uint8_t HexByte(std::string_view text, std::size_t index);
std::size_t HexByteCount(std::string_view text);
// The bytes a hex text stands for.
std::vector<std::uint8_t> BytesOfHex(std::string_view text);

// How a message is framed, decided by its first byte alone (the configurator's own table,
// which differs from the bus rules on purpose: 0x7D frames six bytes, 0xB3 is unknown).
enum class TFraming {
    Fixed,        // Length bytes
    Counted,      // the second byte holds the length
    DiscardAll,   // 0x0D: everything pending is dropped
    Unrecognised, // the byte is dropped
};
struct TFrameRule {
    TFraming Kind;
    int Length; // for Fixed only
};
TFrameRule FrameRuleOf(std::uint8_t firstByte);

// The line shown when the receive pass meets nothing, or a lone 0xFF.
inline constexpr std::string_view NoCentralLine = "Geen LocoNet centrale gevonden";
// What is said when nothing at all came back while a version's start messages went out.
inline constexpr std::string_view NoConnectionLines[] = {
    "Er is geen verbinding tussen de LocoNet-Centrale en het programma",
    "There is no connect between the LocoNet device and the programmer",
};

// What one pass does to the world outside the two texts. The configurator implements this
// with its window; tests and fuzzers with plain recorders.
class TPassActions {
public:
    virtual ~TPassActions() = default;
    // Verify a framed message (hex text); true accepts it.
    virtual bool Verify(const std::string& message) = 0;
    // Add a line to the monitor pane.
    virtual void AddLine(std::string_view line) = 0;
    // The pane shows a switch request or an input report twice: its line once more.
    virtual void AddLineAgain(std::string_view line) { AddLine(line); }
    virtual void InputReport(const std::string& message) = 0; // opcode 0xB2
    virtual void SlotData(const std::string& message) = 0;    // opcode 0xE7
    virtual void Beep() = 0;
};

// One framing pass: working := text, then frame, verify and act on messages from its front,
// shortening `pending` as messages are accepted, bytes dropped or 0x0D met. `working` is left
// holding what the pass did not scan.
void ParsePass(std::string text, std::string& pending, std::string& working, TPassActions& actions);

// Pending data is bounded: noise (a port set to the wrong rate, say) would otherwise grow it
// without end, since a rejected message stays pending until a later one is accepted. 4 KiB is
// far above the longest message (255 bytes), so valid traffic never meets the cap.
inline constexpr std::size_t PendingCapBytes = 4096;
// Drops the oldest bytes beyond the cap.
void CapPending(std::string& pending, std::size_t maxBytes = PendingCapBytes);

// An input report 0xB2 IN1 IN2: the contact number (from 1) and its level.
struct TInputReport {
    int Contact;
    int Level;
};
TInputReport DecodeInputReport(std::uint8_t in1, std::uint8_t in2);

// Slot data whose status byte is one of these is answered with a claim of the slot.
bool IsSlotClaimStatus(std::uint8_t status);
// The slot of a slot data message (opcode, count, slot, status, ...) if it is to be claimed.
std::optional<std::uint8_t> SlotToClaim(std::span<const std::uint8_t> slotData);
// The command station's S88 status reply: a peer transfer with count 0x0F and 0x11 as its
// sixth byte.
bool IsS88StatusReply(std::span<const std::uint8_t> message);

// Claims each slot at most once until Forget(). Command stations answer a claim with slot data
// showing the slot in use, which is itself a claim status: answering that again would claim the
// same slot over and over.
class TSlotClaims {
public:
    // True when the slot has not been claimed yet; it counts as claimed from now on.
    bool TryClaim(std::uint8_t slot);
    void Forget() { claimed_.reset(); }

private:
    std::bitset<256> claimed_;
};

} // namespace LocoNet
