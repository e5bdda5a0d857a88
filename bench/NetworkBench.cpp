// SPDX-License-Identifier: GPL-3.0-or-later
// A whole programming pass from sentrax-program over each transport (the simulator's terminal
// directly, ser2net raw and RFC 2217 in front of it, the simulator's LocoNet-over-TCP server),
// timed where the bytes reach the interface: the pass from its first byte to its last against the
// planned floor, and the reaction from slot data sent to the claim's first byte received.
// Prints one line a transport; the simulator's logs are the clock.

#include "ChildProcess.h"
#include "Ser2net.h"
#include "Simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct TMeasure {
    double Pass = 0;                // seconds from the first byte to the last byte of the pass
    double Floor = 0;               // what its bytes take at the planned pace
    std::vector<double> Reactions; // seconds from slot data out to the claim's first byte in
    std::vector<double> Gaps;      // between bytes of the pass, the pairs' long pauses left out
};

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

TMeasure Measure(const TSimulator& simulator)
{
    TMeasure m;
    const auto rx = simulator.Bytes("rx");
    const auto tx = simulator.Bytes("tx");
    // The pass ends with the Range pair's output-off (B0 0F 00 40).
    for (std::size_t i = 3; i < rx.size(); ++i) {
        if (rx[i - 3].Byte == 0xB0 && rx[i - 2].Byte == 0x0F && rx[i - 1].Byte == 0x00 && rx[i].Byte == 0x40) {
            m.Pass = rx[i].At - rx[0].At;
            m.Gaps.clear();
            for (std::size_t j = 1; j <= i; ++j) {
                if (rx[j].At - rx[j - 1].At < 0.100)
                    m.Gaps.push_back(rx[j].At - rx[j - 1].At);
            }
            // 20 ms after each byte (the claims' included), 200 ms more inside each of the two pairs.
            m.Floor = 0.020 * double(i) + 2 * 0.200;
        }
    }
    // Where each slot-data message (E7, 14 bytes) was complete on the way out.
    std::vector<double> slotData;
    for (std::size_t i = 0; i + 13 < tx.size(); ++i) {
        if (tx[i].Byte == 0xE7 && tx[i + 1].Byte == 0x0E)
            slotData.push_back(tx[i + 13].At);
    }
    for (const auto& b : rx) {
        if (b.Byte != 0xBA)
            continue;
        const auto before = std::upper_bound(slotData.begin(), slotData.end(), b.At);
        if (before != slotData.begin())
            m.Reactions.push_back(b.At - *(before - 1));
    }
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const bool ser2net = HaveSer2net();
    struct TTransport {
        const char* Name;
        const char* Scheme; // nullptr: the terminal itself
        bool Rfc2217;
    };
    const TTransport transports[] = {
        {"serial (the simulator's terminal)", nullptr, false},
        {"tcp:// (ser2net raw)", "tcp", false},
        {"rfc2217:// (ser2net telnet)", "rfc2217", true},
        {"lbserver:// (simulator's server)", "lbserver", false},
    };
    std::printf("%-34s %12s %11s %11s %9s %15s %7s %11s %11s\n", "transport", "pass median", "pass max", "floor",
                "vs floor", "claim reaction", "claims", "gap median", "gap p99");
    for (const TTransport& t : transports) {
        if (t.Scheme && std::string(t.Scheme) != "lbserver" && !ser2net) {
            std::printf("%-36s skipped: %s\n", t.Name, kNoSer2net);
            continue;
        }
        std::vector<double> passes;
        std::vector<double> floors;
        std::vector<double> reactions;
        std::vector<double> gaps;
        for (int run = 0; run < runs; ++run) {
            const int port = FreeLocalPort();
            std::vector<std::string> options{"--report-interval", "0"};
            const bool lbserver = t.Scheme && std::string(t.Scheme) == "lbserver";
            if (lbserver)
                options.insert(options.end(), {"--lbserver", std::to_string(port)});
            TSimulator simulator(options);
            const auto server = t.Scheme && !lbserver ? StartSer2net(simulator, port, t.Rfc2217) : nullptr;
            const std::string name = t.Scheme ? std::string(t.Scheme) + "://127.0.0.1:" + std::to_string(port)
                                              : simulator.Port.toStdString();
            TChildProcess program({SENTRAX_PROGRAM_CLI, "--port", name, "--module", "1.1", "--monitor", "on", "--first",
                                   "17", "--count", "16", "--quiet"},
                                  {{}, true});
            if (program.WaitExit(60s) != std::optional<int>(0)) {
                std::printf("%-36s run %d failed\n", t.Name, run);
                continue;
            }
            const TMeasure m = Measure(simulator);
            passes.push_back(m.Pass);
            floors.push_back(m.Floor);
            gaps.insert(gaps.end(), m.Gaps.begin(), m.Gaps.end());
            reactions.insert(reactions.end(), m.Reactions.begin(), m.Reactions.end());
        }
        if (passes.empty())
            continue;
        // Over lbserver:// the bytes of a message arrive together: its gaps are between messages.
        std::printf("%-34s %9.1f ms %8.1f ms %8.1f ms %8.3fx %12.2f ms %7zu %8.2f ms %8.2f ms\n", t.Name,
                    Median(passes) * 1000, *std::max_element(passes.begin(), passes.end()) * 1000,
                    Median(floors) * 1000, Median(passes) / Median(floors), Median(reactions) * 1000,
                    reactions.size(), Percentile(gaps, 0.5) * 1000, Percentile(gaps, 0.99) * 1000);
    }
    return 0;
}
