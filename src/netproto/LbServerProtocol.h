// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The LoconetOverTcp text protocol: lines such as "RECEIVE 83 7C" from the server, "SEND 83 7C"
// to it. Pure functions over bytes, so that what a server sends can be fuzzed.
namespace LbServer {

inline constexpr int DefaultPort = 1234;
// Longer than any line a server has reason to send (a LocoNet message has at most 127 bytes, so
// "RECEIVE " and 127 three-character bytes); what goes beyond it is dropped with the line.
inline constexpr std::size_t MaxLineLength = 512;

struct TLine {
    enum TKind {
        Receive,   // Bytes: a message from the bus
        Send,      // Bytes: a message a client sends (what a server reads)
        SentOk,    // the server put our last message on the bus
        SentError, // it could not; Text says why
        Version,   // Text: the server's name
        Ignored,   // a line we have no use for (TIMESTAMP, BREAK, ERROR, unknown tokens)
        Malformed, // a line that breaks the protocol (overlong, bytes that are not hex)
    } Kind = Ignored;
    std::vector<std::uint8_t> Bytes;
    std::string Text;
};

// One line without its end.
TLine ParseLine(std::string_view line);

// Splits what the server sends into lines: CR, LF or both end one; empty lines are skipped. The
// memory it holds never exceeds MaxLineLength; an overlong line becomes one Malformed line.
class TLineReader {
public:
    void Feed(const char* data, std::size_t size, std::vector<TLine>& lines);

private:
    std::string line_;
    bool overlong_ = false;
};

// Gathers the bytes a LocoNet link writes one at a time into whole messages by the opcode's
// length rule, and gives each as its SEND line. A byte with the high bit set starts a new
// message (a message left incomplete is dropped); a data byte outside a message is dropped.
class TMessageGatherer {
public:
    // Whether `byte` completes a message; `message` then holds it.
    bool Add(std::uint8_t byte, std::vector<std::uint8_t>& message);
    void Clear() { message_.clear(); }
    bool Pending() const { return !message_.empty(); }

private:
    std::vector<std::uint8_t> message_;
};

// "SEND 83 7C\r\n", "RECEIVE 83 7C\r\n".
std::string MessageLine(std::string_view token, const std::vector<std::uint8_t>& message);

} // namespace LbServer
