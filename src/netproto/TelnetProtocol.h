// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Telnet with the COM port control option (RFC 2217), as a client speaks it: the reader splits
// what the server sends into data and commands and answers option negotiations; the writers
// frame what the client sends. Pure functions over bytes, so that what a server sends can be
// fuzzed.
namespace Telnet {

inline constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
inline constexpr std::uint8_t OptBinary = 0, OptSuppressGoAhead = 3, OptComPort = 44;
// Longer than any sub-negotiation of the COM port option; a longer one is dropped whole.
inline constexpr std::size_t MaxSubnegotiation = 64;

// COM port option commands (the server answers each with the command + 100).
namespace ComPort {
inline constexpr std::uint8_t SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
                              NotifyLineState = 6, NotifyModemState = 7, SetLineStateMask = 10,
                              SetModemStateMask = 11, PurgeData = 12;
inline constexpr std::uint8_t ServerOffset = 100;
// The modem state bits.
inline constexpr std::uint8_t Cts = 0x10, Dsr = 0x20, Ring = 0x40, Dcd = 0x80;
}

// A sub-negotiation the server sent for the COM port option: the command (with its + 100) and
// the value bytes, IAC doubling undone.
struct TComPortReply {
    std::uint8_t Command = 0;
    std::vector<std::uint8_t> Value;
};

class TReader {
public:
    // The client's first words: it will speak the COM port option and binary, and asks the
    // server to send binary.
    static std::string Greeting();

    // Takes what the server sent: data goes to `data`, the answers the negotiation needs to
    // `answers` (to be sent back), COM port replies to `replies`.
    void Feed(const std::uint8_t* bytes, std::size_t size, std::string& data, std::string& answers,
              std::vector<TComPortReply>& replies);

    enum class TComPortState { Asked, Accepted, Refused };
    TComPortState ComPort() const { return comPort_; }

private:
    void Negotiate(std::uint8_t command, std::uint8_t option, std::string& answers);
    void EndSubnegotiation(std::vector<TComPortReply>& replies);

    enum class TState { Data, Iac, Option, Sub, SubIac, DataCr } state_ = TState::Data;
    std::uint8_t command_ = 0;
    std::vector<std::uint8_t> sub_;
    bool subOverlong_ = false;
    // Options in effect: ours (we will) and the server's (it will).
    std::array<bool, 256> local_{};
    std::array<bool, 256> remote_{};
    TComPortState comPort_ = TComPortState::Asked;
};

// Data bytes with each 255 doubled.
std::string Escape(const char* data, std::size_t size);
// IAC SB COM-PORT command value... IAC SE.
std::string ComPortCommand(std::uint8_t command, const std::vector<std::uint8_t>& value);

} // namespace Telnet
