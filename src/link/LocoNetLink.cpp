// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocoNetLink.h"

#include "CPort.h"

#include <QByteArray>

#include <span>
#include <thread>
#include <utility>

void TLocoNetView::Pause(std::chrono::milliseconds time)
{
    std::this_thread::sleep_for(time);
}

// What a receive pass does, done through the link and its view.
class TLocoNetLink::TPass final : public LocoNet::TPassActions {
public:
    explicit TPass(TLocoNetLink& link)
        : link_(link)
    {
    }
    bool Verify(const std::string& message) override { return link_.Verify(message); }
    void AddLine(std::string_view line) override { link_.view_.AddLine(line); }
    void AddLineAgain(std::string_view line) override { link_.view_.AddLineAgain(line); }
    void InputReport(const std::string& message) override { link_.ShowInputReport(message); }
    void SlotData(const std::string& message) override { link_.HandleSlotData(message); }
    void Beep() override { link_.view_.Beep(); }

private:
    TLocoNetLink& link_;
};

TLocoNetLink::TLocoNetLink(TCustomComPort& port, TLocoNetView& view, std::string& pending, std::string& working)
    : port_(port)
    , view_(view)
    , pending_(pending)
    , working_(working)
{
}

void TLocoNetLink::SendMessage(const LocoNet::TMessage& message)
{
    const LocoNet::TMessage wire = LocoNet::WithChecksum(message);
    for (std::size_t i = 0; i < wire.size(); ++i) {
        port_.WriteText(QByteArray(1, char(wire[i])));
        if (i + 1 == wire.size())
            view_.MessageSent(wire);
        view_.Pause(BytePause);
    }
}

void TLocoNetLink::SendSwitchRequest(int address, bool thrown)
{
    const LocoNet::TSwitchRequestPair pair = LocoNet::SwitchRequestPair(address, thrown);
    SendMessage(pair.OutputOn);
    view_.Pause(SwitchPairPause);
    SendMessage(pair.OutputOff);
}

void TLocoNetLink::Receive(int count)
{
    QByteArray received;
    port_.ReadText(received, count);
    LocoNet::AppendHex(pending_, std::span(reinterpret_cast<const std::uint8_t*>(received.constData()),
                                           std::size_t(received.size())));
    Parse(pending_);
}

void TLocoNetLink::Parse(const std::string& text)
{
    // A pass lets its owner process events after every message; a view that would lay itself out
    // after every line would spend far more on that than on the decoding. So the view hears when
    // a pass begins and ends.
    view_.PassBegins();
    passRunning_ = true;
    const struct TPassEnd {
        TLocoNetLink& Link;
        ~TPassEnd()
        {
            Link.passRunning_ = false;
            Link.view_.PassEnds();
            if (std::exchange(Link.resetWhenPassEnds_, false))
                Link.ResetTexts();
        }
    } passEnd{*this};
    TPass actions(*this);
    LocoNet::ParsePass(text, pending_, working_, actions);
    LocoNet::CapPending(pending_);
}

bool TLocoNetLink::Verify(const std::string& message)
{
    const bool accepted = LocoNet::ChecksumValid(LocoNet::BytesOfHex(message));
    view_.ProcessPending();
    return accepted;
}

void TLocoNetLink::ShowInputReport(const std::string& message)
{
    const auto bytes = LocoNet::BytesOfHex(message);
    view_.ShowInputReport(LocoNet::DecodeInputReport(bytes[1], bytes[2]));
}

void TLocoNetLink::HandleSlotData(const std::string& message)
{
    const std::optional<std::uint8_t> slot = LocoNet::SlotToClaim(LocoNet::BytesOfHex(message));
    if (slot && claims_.TryClaim(*slot))
        SendMessage({LocoNet::OPC_MOVE_SLOTS, *slot, *slot});
}

void TLocoNetLink::Reset()
{
    claims_.Forget();
    // A pass works on the two texts until it ends: emptying them under it would pull them from
    // beneath its scan.
    if (passRunning_)
        resetWhenPassEnds_ = true;
    else
        ResetTexts();
}

void TLocoNetLink::ResetTexts()
{
    pending_.clear();
    working_.clear();
}

void StoreLocoNetPortSettings(TCustomComPort& port)
{
    port.SetBaudRate(br19200);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    port.Parity().SetBits(prNone);
    port.SetEvents({evRxChar, evCTS, evDSR});
    port.Buffer().SetInputSize(0);
    port.Buffer().SetOutputSize(0);
    TComFlowControl& flow = port.FlowControl();
    flow.SetOutCTSFlow(true);
    flow.SetOutDSRFlow(false);
    flow.SetControlDTR(dtrDisable);
    flow.SetControlRTS(rtsHandshake);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
}

void SetFlowControlForRate(TCustomComPort& port)
{
    port.FlowControl().SetFlowControl(port.BaudRate() == br19200 ? fcHardware : fcNone);
}
