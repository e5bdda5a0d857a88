#include "IntLocoNet.h"

#include "LocoNetReceive.h"
#include "UnitSentrax.h"

#include <QApplication>
#include <QByteArray>

#include <chrono>
#include <optional>
#include <utility>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The configurator paces its bytes: the interface and the module take one byte every 20 ms.
constexpr auto kBytePause = 20ms;
constexpr auto kSwitchPairPause = 200ms;

LocoNet::TSlotClaims ClaimedSlots;

// During a receive pass the contact fields take only the pass's last input report, when the
// pass is over: each text set lays the field out anew, and nothing reads them in between.
bool PassRunning = false;
std::optional<LocoNet::TInputReport> LastReport;

void ShowReport(const LocoNet::TInputReport& report)
{
    frmSentrax->Edit3->setText(QString::number(report.Contact));
    frmSentrax->Edit4->setText(QString::number(report.Level));
}

// What a receive pass does, done in the window.
class TWindowPassActions final : public LocoNet::TPassActions {
public:
    bool Verify(const std::string& message) override { return VerifyLocoNetMessage(message); }
    void AddLine(std::string_view line) override
    {
        frmSentrax->Memo1->AddLine(QString::fromLatin1(line.data(), qsizetype(line.size())));
    }
    void InputReport(const std::string& message) override { ShowInputReport(message); }
    void SlotData(const std::string& message) override { HandleSlotData(message); }
    void Beep() override { QApplication::beep(); }
};

} // namespace

void SendLocoNetMessage(const LocoNet::TMessage& message)
{
    for (std::uint8_t byte : LocoNet::WithChecksum(message)) {
        frmSentrax->ComPort1->WriteText(QByteArray(1, char(byte)));
        std::this_thread::sleep_for(kBytePause);
    }
}

void SendSwitchRequest(int address, bool thrown)
{
    const LocoNet::TSwitchRequestPair pair = LocoNet::SwitchRequestPair(address, thrown);
    SendLocoNetMessage(pair.OutputOn);
    std::this_thread::sleep_for(kSwitchPairPause);
    SendLocoNetMessage(pair.OutputOff);
}

void ParseLocoNetText(const std::string& text)
{
    // A pass lets the window process its events after every message; the panes it writes to
    // would then be laid out and repainted after every message too, which in a burst costs far
    // more than the decoding. So the monitor pane takes the pass's lines in one edit and the
    // contact fields its last input report, when the pass is over.
    frmSentrax->Memo1->BeginUpdate();
    PassRunning = true;
    const struct TPassEnd {
        ~TPassEnd()
        {
            PassRunning = false;
            if (LastReport)
                ShowReport(*std::exchange(LastReport, std::nullopt));
            frmSentrax->Memo1->EndUpdate();
        }
    } passEnd;
    TWindowPassActions actions;
    LocoNet::ParsePass(text, PendingText, WorkingText, actions);
    LocoNet::CapPending(PendingText);
}

bool VerifyLocoNetMessage(const std::string& message)
{
    const bool accepted = LocoNet::ChecksumValid(LocoNet::BytesOfHex(message));
    QCoreApplication::processEvents();
    return accepted;
}

void ShowInputReport(const std::string& message)
{
    const auto bytes = LocoNet::BytesOfHex(message);
    const LocoNet::TInputReport report = LocoNet::DecodeInputReport(bytes[1], bytes[2]);
    if (PassRunning)
        LastReport = report;
    else
        ShowReport(report);
}

void HandleSlotData(const std::string& message)
{
    const std::optional<std::uint8_t> slot = LocoNet::SlotToClaim(LocoNet::BytesOfHex(message));
    if (slot && ClaimedSlots.TryClaim(*slot))
        SendLocoNetMessage({LocoNet::OPC_MOVE_SLOTS, *slot, *slot});
}

void ForgetClaimedSlots()
{
    ClaimedSlots.Forget();
}
