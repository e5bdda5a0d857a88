// SPDX-License-Identifier: GPL-3.0-or-later
// Receive decoding alone (framing, checksums, the decisions on each message) on realistic
// traffic, against the 1 920 bytes a second a 19200-baud line carries.

#include "LocoNet.h"
#include "LocoNetReceive.h"
#include "PassRecorder.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// What a configurator sees on a busy bus: input reports, switch requests, echoes of its own
// messages, slot data, acknowledgements.
std::vector<std::uint8_t> Traffic(std::size_t bytes)
{
    std::mt19937 random(3);
    std::vector<std::uint8_t> stream;
    while (stream.size() < bytes) {
        LocoNet::TMessage m;
        switch (random() % 6) {
        case 0: case 1: case 2: m = {0xB2, std::uint8_t(random() & 0x7F), std::uint8_t(0x40 | (random() & 0x3F))}; break;
        case 3: m = {0xB0, std::uint8_t(random() & 0x7F), std::uint8_t(random() & 0x3F)}; break;
        case 4: m = {0xE7, 0x0E, std::uint8_t(random() & 0x7F), 0x01, 0, 0, 0, 7, 0, 0, 0, 0, 0}; break;
        default: m = {0xB4, 0x3B, 0x00}; break;
        }
        const auto wire = LocoNet::WithChecksum(m);
        stream.insert(stream.end(), wire.begin(), wire.end());
    }
    return stream;
}


void ReceiveDecoding(benchmark::State& state)
{
    const auto traffic = Traffic(64 * 1024);
    const std::size_t chunk = std::size_t(state.range(0)); // bytes per notification
    for (auto _ : state) {
        std::string pending;
        std::string working;
        TPassRecorder actions;
        actions.Record = false;
        for (std::size_t at = 0; at < traffic.size(); at += chunk) {
            const std::size_t n = std::min(chunk, traffic.size() - at);
            LocoNet::AppendHex(pending, {traffic.data() + at, n});
            LocoNet::ParsePass(pending, pending, working, actions);
            LocoNet::CapPending(pending);
        }
        benchmark::DoNotOptimize(actions.LineCount);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(traffic.size()));
}
BENCHMARK(ReceiveDecoding)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
