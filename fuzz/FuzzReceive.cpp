// The receive decoding fed arbitrary bytes in arbitrary chunks: it must never raise, never
// read outside its texts, and keep its pending data within the cap.

#include "LocoNet.h"
#include "LocoNetReceive.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

namespace {
struct TActions final : LocoNet::TPassActions {
    std::size_t Lines = 0;
    LocoNet::TSlotClaims Claims;

    static std::vector<std::uint8_t> Bytes(const std::string& hex) { return LocoNet::BytesOfHex(hex); }
    bool Verify(const std::string& m) override { return LocoNet::ChecksumValid(Bytes(m)); }
    void AddLine(std::string_view) override { ++Lines; }
    void InputReport(const std::string& m) override
    {
        const auto b = Bytes(m);
        const auto report = LocoNet::DecodeInputReport(b[1], b[2]);
        if (report.Contact < 1 || report.Contact > 2 * 255 + 256 * 15 + 2 || report.Level < 0 || report.Level > 1)
            std::abort();
    }
    void SlotData(const std::string& m) override
    {
        if (const auto slot = LocoNet::SlotToClaim(Bytes(m)))
            Claims.TryClaim(*slot);
    }
    void Beep() override {}
};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::string pending;
    std::string working;
    TActions actions;
    while (input.remaining_bytes() > 0) {
        const auto chunk = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 64));
        LocoNet::AppendHex(pending, chunk);
        LocoNet::ParsePass(pending, pending, working, actions);
        LocoNet::CapPending(pending);
        if (pending.size() > 2 * LocoNet::PendingCapBytes || pending.size() % 2 != 0)
            std::abort();
    }
    return 0;
}
