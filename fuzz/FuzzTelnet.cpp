// SPDX-License-Identifier: GPL-3.0-or-later
// The Telnet/RFC 2217 reader fed what a server might send, in arbitrary chunks (sequences cut
// anywhere, options we do not know): it must never crash, keep sub-negotiations within their
// bound, answer only with whole three-byte negotiations, and pass escaped data through whole.

#include "TelnetProtocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Telnet::TReader reader;
    std::size_t fed = 0;
    std::size_t dataBytes = 0;
    while (input.remaining_bytes() > 0) {
        const auto chunk = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 64));
        std::string out;
        std::string answers;
        std::vector<Telnet::TComPortReply> replies;
        reader.Feed(chunk.data(), chunk.size(), out, answers, replies);
        fed += chunk.size();
        dataBytes += out.size();
        if (dataBytes > fed || answers.size() % 3 != 0 || answers.size() > 3 * chunk.size())
            std::abort();
        for (std::size_t i = 0; i < answers.size(); i += 3)
            if (std::uint8_t(answers[i]) != Telnet::IAC || std::uint8_t(answers[i + 1]) < Telnet::WILL)
                std::abort();
        for (const Telnet::TComPortReply& reply : replies)
            if (reply.Value.size() + 2 > Telnet::MaxSubnegotiation)
                std::abort();
    }
    // Data escaped for sending reads back unchanged, whatever state the reader was left in once
    // it has seen a plain byte.
    const std::string plain = "\x83\xff\x7c\xff\xff";
    const std::string escaped = Telnet::Escape(plain.data(), plain.size());
    Telnet::TReader fresh;
    std::string out;
    std::string answers;
    std::vector<Telnet::TComPortReply> replies;
    fresh.Feed(reinterpret_cast<const std::uint8_t*>(escaped.data()), escaped.size(), out, answers, replies);
    if (out != plain)
        std::abort();
    return 0;
}
