// SPDX-License-Identifier: GPL-3.0-or-later
#include "CPort.h"

#include "ComThread.h"
#include "EComPort.h"
#include "Exception.h"

#include <algorithm>
#include <atomic>

// --- Settings objects -------------------------------------------------------------------------

namespace {
// Every setter of the port and its settings objects: an unchanged value does nothing; a changed
// one is stored first, then applied (so after a failed apply the setting holds the refused value).
template <class T, class Apply>
void ChangeSetting(T& field, T value, Apply apply)
{
    if (value == field)
        return;
    field = value;
    apply();
}

int EvenSize(int value)
{
    return (value > 0 && value % 2 != 0) ? value - 1 : value;
}
}

void TComBuffer::SetInputSize(int value)
{
    ChangeSetting(inputSize_, EvenSize(value), [this] { port_.ApplyBufferSizes(); });
}

void TComBuffer::SetOutputSize(int value)
{
    ChangeSetting(outputSize_, EvenSize(value), [this] { port_.ApplyBufferSizes(); });
}

void TComBuffer::Assign(const TComBuffer& source)
{
    inputSize_ = source.inputSize_;
    outputSize_ = source.outputSize_;
    port_.ApplyBufferSizes();
}

template <class T>
void TComParity::Set(T& field, T value)
{
    ChangeSetting(field, value, [this] { port_.ApplyLineSettings(); });
}

void TComParity::SetBits(TParityBits value) { Set(bits_, value); }
void TComParity::SetCheck(bool value) { Set(check_, value); }
void TComParity::SetReplace(bool value) { Set(replace_, value); }
void TComParity::SetReplaceChar(char value) { Set(replaceChar_, value); }

void TComParity::Assign(const TComParity& source)
{
    bits_ = source.bits_;
    check_ = source.check_;
    replace_ = source.replace_;
    replaceChar_ = source.replaceChar_;
    port_.ApplyLineSettings();
}

void TComTimeouts::Set(int& field, int value)
{
    ChangeSetting(field, value, [this] { port_.ApplyTimeoutSettings(); });
}

void TComTimeouts::SetReadInterval(int value) { Set(readInterval_, value); }
void TComTimeouts::SetReadTotalMultiplier(int value) { Set(readTotalMultiplier_, value); }
void TComTimeouts::SetReadTotalConstant(int value) { Set(readTotalConstant_, value); }
void TComTimeouts::SetWriteTotalMultiplier(int value) { Set(writeTotalMultiplier_, value); }
void TComTimeouts::SetWriteTotalConstant(int value) { Set(writeTotalConstant_, value); }

void TComTimeouts::Assign(const TComTimeouts& source)
{
    readInterval_ = source.readInterval_;
    readTotalMultiplier_ = source.readTotalMultiplier_;
    readTotalConstant_ = source.readTotalConstant_;
    writeTotalMultiplier_ = source.writeTotalMultiplier_;
    writeTotalConstant_ = source.writeTotalConstant_;
    port_.ApplyTimeoutSettings();
}

template <class T>
void TComFlowControl::Set(T& field, T value)
{
    ChangeSetting(field, value, [this] { port_.ApplyLineSettings(); });
}

void TComFlowControl::SetOutCTSFlow(bool value) { Set(outCTSFlow_, value); }
void TComFlowControl::SetOutDSRFlow(bool value) { Set(outDSRFlow_, value); }
void TComFlowControl::SetControlDTR(TDTRFlowControl value) { Set(controlDTR_, value); }
void TComFlowControl::SetControlRTS(TRTSFlowControl value) { Set(controlRTS_, value); }
void TComFlowControl::SetXonXoffOut(bool value) { Set(xonXoffOut_, value); }
void TComFlowControl::SetXonXoffIn(bool value) { Set(xonXoffIn_, value); }
void TComFlowControl::SetDSRSensitivity(bool value) { Set(dsrSensitivity_, value); }
void TComFlowControl::SetTxContinueOnXoff(bool value) { Set(txContinueOnXoff_, value); }
void TComFlowControl::SetXonChar(char value) { Set(xonChar_, value); }
void TComFlowControl::SetXoffChar(char value) { Set(xoffChar_, value); }

TFlowControl TComFlowControl::FlowControl() const
{
    const bool anyXonXoff = xonXoffIn_ || xonXoffOut_;
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !anyXonXoff)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && !anyXonXoff)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (value == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    port_.ApplyLineSettings();
}

void TComFlowControl::Assign(const TComFlowControl& source)
{
    outCTSFlow_ = source.outCTSFlow_;
    outDSRFlow_ = source.outDSRFlow_;
    controlDTR_ = source.controlDTR_;
    controlRTS_ = source.controlRTS_;
    xonXoffOut_ = source.xonXoffOut_;
    xonXoffIn_ = source.xonXoffIn_;
    dsrSensitivity_ = source.dsrSensitivity_;
    txContinueOnXoff_ = source.txContinueOnXoff_;
    xonChar_ = source.xonChar_;
    xoffChar_ = source.xoffChar_;
    port_.ApplyLineSettings();
}

// --- Construction -----------------------------------------------------------------------------

TCustomComPort::TCustomComPort(QObject* owner, std::unique_ptr<TComDevice> device)
    : QObject(owner)
    , device_(device ? std::move(device) : CreatePlatformComDevice())
{
}

TCustomComPort::~TCustomComPort()
{
    Guarded([this] { ClosePort(); });
    if (thread_ || device_->IsOpen()) {
        // The close failed half-way; the monitor must not outlive the device it watches.
        thread_.reset();
        hiddenWindow_.reset();
        device_->Close();
        connected_ = false;
    }
    Q_EMIT Destroying(this);
    links_.clear();
}

// --- Settings of the port ---------------------------------------------------------------------

bool TCustomComPort::Applicable() const
{
    return connected_ && updateCount_ == 0 && !loading_;
}

void TCustomComPort::SetConnected(bool value)
{
    if (loading_) {
        connected_ = value;
        return;
    }
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::SetBaudRate(TBaudRate value)
{
    ChangeSetting(baudRate_, value, [this] { ApplyLineSettings(); });
}

void TCustomComPort::SetCustomBaudRate(int value)
{
    ChangeSetting(customBaudRate_, value, [this] { ApplyLineSettings(); });
}

void TCustomComPort::SetPort(const QString& value)
{
    ChangeSetting(port_, value, [this] {
        if (connected_ && !loading_) {
            ClosePort();
            OpenPort();
        }
    });
}

void TCustomComPort::SetStopBits(TStopBits value)
{
    ChangeSetting(stopBits_, value, [this] { ApplyLineSettings(); });
}

void TCustomComPort::SetDataBits(TDataBits value)
{
    ChangeSetting(dataBits_, value, [this] { ApplyLineSettings(); });
}

void TCustomComPort::SetDiscardNull(bool value)
{
    ChangeSetting(discardNull_, value, [this] { ApplyLineSettings(); });
}

void TCustomComPort::SetEventChar(char value)
{
    ChangeSetting(eventChar_, value, [this] { ApplyLineSettings(); });
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_)
        return;
    if (connected_)
        throw EComPort(erConnectedProperty);
    syncMethod_ = value;
}

void TCustomComPort::Loaded()
{
    loading_ = false;
    if (connected_) {
        connected_ = false;
        Guarded([this] { OpenPort(); });
    }
}

TLineSettings TCustomComPort::CurrentLineSettings() const
{
    const TComFlowControl& fc = flowControl_;
    TLineSettings s;
    s.BaudRate = baudRate_ == brCustom ? std::uint32_t(customBaudRate_) : BaudRateValue(baudRate_);
    s.DataBits = 5 + int(dataBits_);
    s.Parity = parity_.Bits();
    s.StopBits = stopBits_;
    s.ParityCheck = parity_.Check();
    s.ParityReplace = parity_.Replace();
    s.ReplaceChar = parity_.ReplaceChar();
    s.DiscardNull = discardNull_;
    s.OutCTSFlow = fc.OutCTSFlow();
    s.OutDSRFlow = fc.OutDSRFlow();
    s.DTRControl = fc.ControlDTR();
    s.RTSControl = fc.ControlRTS();
    s.DSRSensitivity = fc.DSRSensitivity();
    s.XonXoffOut = fc.XonXoffOut();
    s.XonXoffIn = fc.XonXoffIn();
    s.TxContinueOnXoff = fc.TxContinueOnXoff();
    s.XonLimit = buffer_.InputSize() / 4;
    s.XoffLimit = s.XonLimit;
    s.XonChar = fc.XonChar();
    s.XoffChar = fc.XoffChar();
    s.EventChar = eventChar_;
    return s;
}

TDCB TCustomComPort::CurrentDCB() const
{
    return ToDCB(CurrentLineSettings());
}

TCommTimeouts TCustomComPort::CurrentTimeouts() const
{
    // -1 ("maximum") becomes the all-ones 32-bit value.
    return {
        std::uint32_t(timeouts_.ReadInterval()),
        std::uint32_t(timeouts_.ReadTotalMultiplier()),
        std::uint32_t(timeouts_.ReadTotalConstant()),
        std::uint32_t(timeouts_.WriteTotalMultiplier()),
        std::uint32_t(timeouts_.WriteTotalConstant()),
    };
}

void TCustomComPort::ApplyLineSettings()
{
    if (!Applicable())
        return;
    if (const int error = device_->SetLineSettings(CurrentLineSettings()))
        throw EComPort(erSetState, error, device_->ErrorDetail());
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!Applicable())
        return;
    if (const int error = device_->SetCommTimeouts(CurrentTimeouts()))
        throw EComPort(erSetTimeouts, error);
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!Applicable())
        return;
    if (const int error = device_->SetupComm(buffer_.InputSize(), buffer_.OutputSize()))
        throw EComPort(erSetupComm, error);
}

void TCustomComPort::ApplyAllSettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

void TCustomComPort::BeginSettingsUpdate()
{
    ++updateCount_;
}

void TCustomComPort::EndSettingsUpdate()
{
    if (updateCount_ < 1)
        return;
    if (--updateCount_ == 0)
        ApplyAllSettings();
}

// --- Opening and closing ----------------------------------------------------------------------

void TCustomComPort::OpenDevice()
{
    if (const int error = device_->Open(port_))
        throw EComPort(erOpenFailed, error, device_->ErrorDetail());
}

void TCustomComPort::CloseDevice()
{
    device_->Close();
}

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    DoBeforeOpen();
    OpenDevice();
    connected_ = true;
    lossReported_ = false;
    ++generation_;
    try {
        ApplyAllSettings();
        if (events_.Empty()) {
            monitorCreated_ = false;
        } else {
            if (syncMethod_ == smWindowSync)
                hiddenWindow_ = CreateComHiddenWindow(*this);
            thread_ = std::make_unique<TComThread>(*this);
            monitorCreated_ = true;
        }
    } catch (...) {
        hiddenWindow_.reset();
        CloseDevice();
        connected_ = false;
        throw;
    }

    const unsigned generation = generation_;
    const auto stillOpen = [&] { return connected_ && generation_ == generation; };
    CallLinks(&TComLink::OnConn, true);
    DoAfterOpen();
    // Report the modem inputs as changed, so that everything following them starts right.
    for (TComSignal line : {csCTS, csDSR, csRLSD}) {
        if (!stillOpen()) // a handler above closed the port again
            return;
        NotifyLine(line, LineSignals().Contains(line));
    }
}

void TCustomComPort::ClosePort()
{
    if (!connected_ || closing_)
        return;
    closing_ = true;
    struct TClosingGuard {
        bool& flag;
        ~TClosingGuard() { flag = false; }
    } guard{closing_};

    CallLinks(&TComLink::OnCTSChange, false);
    CallLinks(&TComLink::OnDSRChange, false);
    CallLinks(&TComLink::OnRLSDChange, false);
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
    try {
        AbortTransfers();
    } catch (const EComPort& e) {
        // A device that is gone has no transfer left to abort, and must still be closed.
        if (!device_->IsDeviceGone(e.SystemCode()))
            throw;
    }
    if (monitorCreated_) {
        thread_.reset();
        monitorCreated_ = false;
        hiddenWindow_.reset();
    }
    CloseDevice();
    connected_ = false;
    CallLinks(&TComLink::OnConn, false);
    DoAfterClose();
}

void TCustomComPort::RaiseDeviceError(int reason, int error)
{
    const QString detail = device_->ErrorDetail(); // before a close can forget it
    if (device_->IsDeviceGone(error)) {
        // One loss, one report: a call that fails on the same dead device later (say, a reply
        // sent while the close lets pending work run) ends what it was part of, silently.
        if (lossReported_)
            throw EAbort();
        lossReported_ = true;
        if (connected_)
            ClosePort();
    }
    throw EComPort(reason, error, detail);
}

void TCustomComPort::DeviceLost(unsigned generation, int error)
{
    if (!connected_ || generation != generation_ || lossReported_)
        return; // closed or reported (a call that failed on the dead device said so), or opened anew
    lossReported_ = true;
    ClosePort();
    throw EComPort(erReadFailed, error);
}

void TCustomComPort::ReportDeliveryFailure(unsigned generation, std::exception_ptr failure)
{
    if (generation != generation_)
        return; // opened anew since
    try {
        std::rethrow_exception(failure);
    } catch (const EComPort& e) {
        if (!device_->IsDeviceGone(e.SystemCode()))
            return; // a handler that failed on a healthy device ends the monitor silently
    } catch (...) {
        return;
    }
    if (connected_)
        ClosePort();
    std::rethrow_exception(failure);
}

// --- The settings dialog ----------------------------------------------------------------------

namespace {
std::atomic<TSettingsDialog> gSettingsDialog{nullptr};
}

TSettingsDialog SetSettingsDialog(TSettingsDialog dialog)
{
    return gSettingsDialog.exchange(dialog);
}

void TCustomComPort::ShowSettingsDialog()
{
    if (const TSettingsDialog dialog = gSettingsDialog.load())
        dialog(*this);
}

// --- Transfers --------------------------------------------------------------------------------

int TCustomComPort::WriteText(const QByteArray& text)
{
    if (text.isEmpty())
        return 0;
    int written = 0; // a closed device fails with its own code for an invalid handle
    if (const int error = device_->Write(text.constData(), int(text.size()), written))
        RaiseDeviceError(erWriteFailed, error);
    CallLinks(&TComLink::OnTx, true);
    CallLinks(&TComLink::OnTxBuf, text.constData(), int(text.size()));
    return written;
}

int TCustomComPort::ReadText(QByteArray& text, int count)
{
    if (count <= 0) {
        text.clear();
        return 0;
    }
    text.resize(count);
    int read = 0;
    if (const int error = device_->Read(text.data(), count, read)) {
        text.clear();
        RaiseDeviceError(erReadFailed, error);
    }
    text.resize(read);
    if (BytesWaiting() == 0)
        CallLinks(&TComLink::OnRx, false);
    return read;
}

int TCustomComPort::BytesWaiting()
{
    TComErrors errors;
    int count = 0;
    if (const int error = device_->ClearCommError(errors, count))
        RaiseDeviceError(erClearCommError, error);
    return count;
}

int TCustomComPort::BytesUnsent()
{
    int count = 0;
    if (const int error = device_->OutputCount(count))
        RaiseDeviceError(erClearCommError, error);
    return count;
}

TComSignals TCustomComPort::LineSignals()
{
    TComSignals signals;
    if (const int error = device_->GetCommModemStatus(signals))
        RaiseDeviceError(erModemStatus, error);
    return signals;
}

TComErrors TCustomComPort::LineErrors()
{
    TComErrors errors;
    int count = 0;
    if (const int error = device_->ClearCommError(errors, count))
        RaiseDeviceError(erClearCommError, error);
    if (!parity_.Check())
        errors.Exclude(ceRxParity);
    return errors;
}

void TCustomComPort::AbortTransfers()
{
    if (const int error = device_->PurgeComm(PurgeFlag::TxAbort | PurgeFlag::RxAbort))
        throw EComPort(erPurgeFailed, error);
}

// --- Links ------------------------------------------------------------------------------------

void TCustomComPort::AttachLink(TComLink* link)
{
    if (!link || std::find(links_.begin(), links_.end(), link) != links_.end())
        throw EComPort(erLinkRegistration);
    links_.push_back(link);
    RecomputeLinkFlags();
}

void TCustomComPort::DetachLink(TComLink* link)
{
    const auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end())
        throw EComPort(erLinkRegistration);
    links_.erase(it);
    RecomputeLinkFlags();
}

void TCustomComPort::RecomputeLinkFlags()
{
    linksWantRxData_ = std::any_of(links_.begin(), links_.end(),
                                   [](const TComLink* link) { return bool(link->OnRxBuf); });
}

template <class Slot, class... Args>
void TCustomComPort::CallLinks(Slot TComLink::*slot, Args... args)
{
    // A handler may process pending events, and with them detach (and free) a link: walk a copy
    // and skip links that have left meanwhile.
    const std::vector<TComLink*> snapshot = links_;
    for (TComLink* link : snapshot) {
        if (std::find(links_.begin(), links_.end(), link) == links_.end())
            continue;
        if (const auto& handler = link->*slot)
            handler(args...);
    }
}

// --- Event handling ---------------------------------------------------------------------------

void TCustomComPort::NotifyLine(TComSignal line, bool on)
{
    switch (line) {
    case csCTS:
        CallLinks(&TComLink::OnCTSChange, on);
        DoCTSChange(on);
        break;
    case csDSR:
        CallLinks(&TComLink::OnDSRChange, on);
        DoDSRChange(on);
        break;
    case csRLSD:
        CallLinks(&TComLink::OnRLSDChange, on);
        DoRLSDChange(on);
        break;
    case csRing:
        break;
    }
}

void TCustomComPort::RunEventHandlers(TComEvents events)
{
    static constexpr TComEvent kOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                           evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
    const unsigned generation = generation_;
    for (TComEvent event : kOrder) {
        if (!events.Contains(event))
            continue;
        if (!connected_ || generation_ != generation)
            return; // an earlier step closed the port
        RunEventStep(event);
    }
}

void TCustomComPort::RunEventStep(TComEvent event)
{
    switch (event) {
    case evError: {
        const TComErrors errors = LineErrors();
        if (!errors.Empty())
            DoError(errors);
        break;
    }
    case evRxChar:
        HandleRxChar();
        break;
    case evTxEmpty:
        CallLinks(&TComLink::OnTx, false);
        CallLinks(&TComLink::OnTxEmpty);
        DoTxEmpty();
        break;
    case evBreak:
        DoBreak();
        break;
    case evRing:
        CallLinks(&TComLink::OnRing);
        DoRing();
        break;
    case evCTS:
        NotifyLine(csCTS, LineSignals().Contains(csCTS));
        break;
    case evDSR:
        NotifyLine(csDSR, LineSignals().Contains(csDSR));
        break;
    case evRxFlag:
        CallLinks(&TComLink::OnRxFlag);
        DoRxFlag();
        break;
    case evRLSD:
        NotifyLine(csRLSD, LineSignals().Contains(csRLSD));
        break;
    case evRx80Full:
        DoRx80Full();
        break;
    }
}

void TCustomComPort::HandleRxChar()
{
    int count = BytesWaiting();
    if (count <= 0)
        return;
    CallLinks(&TComLink::OnRx, true);
    if (!triggersOnRxChar_ || linksWantRxData_) {
        // Read once for everyone who wants the bytes themselves.
        QByteArray buffer;
        bool read = false;
        const auto readBuffer = [&] {
            ReadText(buffer, count);
            DoRxBuf(buffer.constData(), int(buffer.size()));
            read = true;
        };
        const std::vector<TComLink*> snapshot = links_;
        for (TComLink* link : snapshot) {
            if (!link->OnRxBuf || std::find(links_.begin(), links_.end(), link) == links_.end())
                continue;
            if (!read)
                readBuffer();
            link->OnRxBuf(buffer.constData(), int(buffer.size()));
        }
        if (!read && !triggersOnRxChar_)
            readBuffer();
        if (read)
            count = 0;
    }
    if (count > 0)
        DoRxChar(count);
}

// --- Event raisers ----------------------------------------------------------------------------

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomComPort::DoRxChar(int count) { if (OnRxChar) OnRxChar(this, count); }
void TCustomComPort::DoRxBuf(const char* buffer, int count) { if (OnRxBuf) OnRxBuf(this, buffer, count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomComPort::DoCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(this, onOff); }
void TCustomComPort::DoDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(this, onOff); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(this, errors); }
void TCustomComPort::DoRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(this, onOff); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(this); }
