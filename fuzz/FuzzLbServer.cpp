// SPDX-License-Identifier: GPL-3.0-or-later
// The LoconetOverTcp line reader fed what a server might send, in arbitrary chunks: it must never
// crash, never hold more than one line's worth, and give only messages of real bytes; the
// message gatherer fed the same bytes must only ever give whole messages.

#include "LbServerProtocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    LbServer::TLineReader reader;
    LbServer::TMessageGatherer gatherer;
    while (input.remaining_bytes() > 0) {
        const auto chunk = input.ConsumeBytes<char>(input.ConsumeIntegralInRange<std::size_t>(0, 64));
        std::vector<LbServer::TLine> lines;
        reader.Feed(chunk.data(), chunk.size(), lines);
        if (lines.size() > chunk.size())
            std::abort(); // a line needs at least its end
        for (const LbServer::TLine& line : lines) {
            const bool bytes = line.Kind == LbServer::TLine::Receive || line.Kind == LbServer::TLine::Send;
            if (bytes != !line.Bytes.empty() || line.Bytes.size() > LbServer::MaxLineLength / 2
                || line.Text.size() > LbServer::MaxLineLength)
                std::abort();
        }
        for (char c : chunk) {
            std::vector<std::uint8_t> message;
            if (gatherer.Add(std::uint8_t(c), message)) {
                if (message.size() < 2 || !(message[0] & 0x80))
                    std::abort();
                for (std::size_t i = 1; i < message.size(); ++i)
                    if (message[i] & 0x80)
                        std::abort();
                const std::string line = LbServer::MessageLine("SEND", message);
                std::vector<LbServer::TLine> back;
                LbServer::TLineReader().Feed(line.data(), line.size(), back);
                if (back.size() != 1 || back[0].Bytes != message)
                    std::abort(); // what we send reads back as the same message
            }
        }
    }
    return 0;
}
