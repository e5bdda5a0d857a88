// SPDX-License-Identifier: GPL-3.0-or-later
// The receive decoding fed arbitrary bytes in arbitrary chunks: it must never raise, never
// read outside its texts, and keep its pending data within the cap.

#include "LocoNet.h"
#include "LocoNetReceive.h"
#include "PassRecorder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::string pending;
    std::string working;
    TPassRecorder actions;
    actions.Record = false;
    while (input.remaining_bytes() > 0) {
        const auto chunk = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 64));
        LocoNet::AppendHex(pending, chunk);
        LocoNet::ParsePass(pending, pending, working, actions);
        LocoNet::CapPending(pending);
        const LocoNet::TInputReport& report = actions.LastReport;
        if (actions.ReportCount > 0
            && (report.Contact < 1 || report.Contact > 2 * 255 + 256 * 15 + 2 || report.Level < 0 || report.Level > 1))
            std::abort();
        if (pending.size() > 2 * LocoNet::PendingCapBytes || pending.size() % 2 != 0)
            std::abort();
    }
    return 0;
}
