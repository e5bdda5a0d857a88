// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelnetProtocol.h"

namespace Telnet {

namespace {
std::string Command(std::uint8_t verb, std::uint8_t option)
{
    return {char(IAC), char(verb), char(option)};
}
}

std::string TReader::Greeting()
{
    return Command(WILL, OptComPort) + Command(WILL, OptBinary) + Command(DO, OptBinary)
        + Command(WILL, OptSuppressGoAhead) + Command(DO, OptSuppressGoAhead);
}

void TReader::Negotiate(std::uint8_t command, std::uint8_t option, std::string& answers)
{
    // The options we speak; every other one is declined. An answer goes out only when the state
    // changes, so that two sides that both answer every request cannot loop.
    const bool known = option == OptBinary || option == OptSuppressGoAhead || option == OptComPort;
    switch (command) {
    case DO:
        if (option == OptComPort)
            comPort_ = TComPortState::Accepted;
        if (known && !local_[option]) {
            local_[option] = true;
            if (option != OptComPort) // offered in the greeting already
                answers += Command(WILL, option);
        } else if (!known) {
            answers += Command(WONT, option);
        }
        break;
    case DONT:
        if (option == OptComPort)
            comPort_ = TComPortState::Refused;
        if (local_[option]) {
            local_[option] = false;
            answers += Command(WONT, option);
        }
        break;
    case WILL:
        // The server as a COM port client is not what we asked for.
        if (option != OptComPort && known) {
            if (!remote_[option]) {
                remote_[option] = true;
                answers += Command(DO, option);
            }
        } else {
            answers += Command(DONT, option);
        }
        break;
    case WONT:
        if (remote_[option]) {
            remote_[option] = false;
            answers += Command(DONT, option);
        }
        break;
    default:
        break;
    }
}

void TReader::EndSubnegotiation(std::vector<TComPortReply>& replies)
{
    if (!subOverlong_ && sub_.size() >= 2 && sub_[0] == OptComPort)
        replies.push_back({sub_[1], std::vector<std::uint8_t>(sub_.begin() + 2, sub_.end())});
    sub_.clear();
    subOverlong_ = false;
}

void TReader::Feed(const std::uint8_t* bytes, std::size_t size, std::string& data, std::string& answers,
                   std::vector<TComPortReply>& replies)
{
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
        case TState::DataCr:
            // Without binary, a CR the server sends is followed by NUL (dropped) or LF.
            state_ = TState::Data;
            if (b == 0 && !remote_[OptBinary])
                break;
            [[fallthrough]];
        case TState::Data:
            if (b == IAC)
                state_ = TState::Iac;
            else {
                data.push_back(char(b));
                if (b == '\r' && !remote_[OptBinary])
                    state_ = TState::DataCr;
            }
            break;
        case TState::Iac:
            if (b == IAC) {
                data.push_back(char(b));
                state_ = TState::Data;
            } else if (b == SB) {
                sub_.clear();
                subOverlong_ = false;
                state_ = TState::Sub;
            } else if (b >= WILL) {
                command_ = b;
                state_ = TState::Option;
            } else {
                state_ = TState::Data; // NOP, go-ahead and the other two-byte commands
            }
            break;
        case TState::Option:
            Negotiate(command_, b, answers);
            state_ = TState::Data;
            break;
        case TState::Sub:
            if (b == IAC)
                state_ = TState::SubIac;
            else if (sub_.size() < MaxSubnegotiation)
                sub_.push_back(b);
            else
                subOverlong_ = true;
            break;
        case TState::SubIac:
            if (b == IAC) {
                if (sub_.size() < MaxSubnegotiation)
                    sub_.push_back(b);
                else
                    subOverlong_ = true;
                state_ = TState::Sub;
            } else if (b == SE) {
                EndSubnegotiation(replies);
                state_ = TState::Data;
            } else {
                // IAC and anything else inside a sub-negotiation: it was cut off; take the
                // command that follows as a command.
                sub_.clear();
                subOverlong_ = false;
                state_ = TState::Iac;
                Feed(&b, 1, data, answers, replies);
            }
            break;
        }
    }
}

std::string Escape(const char* data, std::size_t size)
{
    std::string escaped;
    escaped.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        escaped.push_back(data[i]);
        if (std::uint8_t(data[i]) == IAC)
            escaped.push_back(data[i]);
    }
    return escaped;
}

std::string ComPortCommand(std::uint8_t command, const std::vector<std::uint8_t>& value)
{
    std::string framed{char(IAC), char(SB), char(OptComPort), char(command)};
    framed += Escape(reinterpret_cast<const char*>(value.data()), value.size());
    framed += char(IAC);
    framed += char(SE);
    return framed;
}

} // namespace Telnet
