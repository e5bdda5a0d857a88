// SPDX-License-Identifier: GPL-3.0-or-later
#include "LbServerProtocol.h"

#include <algorithm>

namespace LbServer {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "83 7c" and "83 7C": one or two hex digits a byte, separated by spaces.
bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') {
            ++i;
            continue;
        }
        int value = 0;
        int digits = 0;
        for (; i < text.size() && text[i] != ' ' && text[i] != '\t'; ++i, ++digits) {
            const int d = HexDigit(text[i]);
            if (d < 0 || digits == 2)
                return false;
            value = value * 16 + d;
        }
        bytes.push_back(std::uint8_t(value));
    }
    return !bytes.empty();
}

// The opcode's length rule: the two bits below the top one give 2, 4 or 6 bytes, or (both set)
// the count in the second byte.
std::size_t MessageLength(const std::vector<std::uint8_t>& message)
{
    switch ((message[0] >> 5) & 3) {
    case 0:
        return 2;
    case 1:
        return 4;
    case 2:
        return 6;
    default:
        return message.size() < 2 ? 0 : std::max<std::size_t>(message[1], 2);
    }
}

} // namespace

TLine ParseLine(std::string_view line)
{
    TLine parsed;
    const std::size_t space = line.find(' ');
    const std::string_view token = line.substr(0, space);
    const std::string_view parameter = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    if (token == "RECEIVE" || token == "SEND") {
        if (ParseHexBytes(parameter, parsed.Bytes))
            parsed.Kind = token == "SEND" ? TLine::Send : TLine::Receive;
        else {
            parsed.Kind = TLine::Malformed;
            parsed.Bytes.clear();
            parsed.Text = std::string(token) + " without hex bytes";
        }
    } else if (token == "SENT") {
        const bool ok = parameter.substr(0, 2) == "OK";
        const bool error = parameter.substr(0, 5) == "ERROR";
        parsed.Kind = ok ? TLine::SentOk : error ? TLine::SentError : TLine::Malformed;
        parsed.Text = std::string(parameter.substr(std::min(parameter.size(), std::size_t(ok ? 2 : 5))));
        while (!parsed.Text.empty() && parsed.Text.front() == ' ')
            parsed.Text.erase(parsed.Text.begin());
    } else if (token == "VERSION") {
        parsed.Kind = TLine::Version;
        parsed.Text = std::string(parameter);
    } else {
        parsed.Kind = TLine::Ignored;
    }
    return parsed;
}

void TLineReader::Feed(const char* data, std::size_t size, std::vector<TLine>& lines)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            if (overlong_) {
                TLine bad;
                bad.Kind = TLine::Malformed;
                bad.Text = "line too long";
                lines.push_back(std::move(bad));
            } else if (!line_.empty()) {
                lines.push_back(ParseLine(line_));
            }
            line_.clear();
            overlong_ = false;
        } else if (overlong_) {
            continue;
        } else if (line_.size() >= MaxLineLength) {
            line_.clear();
            overlong_ = true;
        } else {
            line_.push_back(c);
        }
    }
}

bool TMessageGatherer::Add(std::uint8_t byte, std::vector<std::uint8_t>& message)
{
    if (byte & 0x80)
        message_.assign(1, byte);
    else if (message_.empty())
        return false;
    else
        message_.push_back(byte);
    const std::size_t length = MessageLength(message_);
    if (length == 0 || message_.size() < length)
        return false;
    message = std::move(message_);
    message_.clear();
    return true;
}

std::string MessageLine(std::string_view token, const std::vector<std::uint8_t>& message)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line(token);
    for (std::uint8_t b : message) {
        line += ' ';
        line += kDigits[b >> 4];
        line += kDigits[b & 15];
    }
    line += "\r\n";
    return line;
}

} // namespace LbServer
