// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"
#include "ComLink.h"
#include "ComTypes.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class TCustomComPort;
class TComThread;

// --- Settings objects -------------------------------------------------------------------------
// Each belongs to one port; a changed value is stored and then applied to the device.

class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort& port) : port_(port) {}
    int InputSize() const { return inputSize_; }
    int OutputSize() const { return outputSize_; }
    // An odd positive size is stored one smaller.
    void SetInputSize(int value);
    void SetOutputSize(int value);
    void Assign(const TComBuffer& source);

private:
    TCustomComPort& port_;
    int inputSize_ = 1024;
    int outputSize_ = 1024;
};

class TComParity {
public:
    explicit TComParity(TCustomComPort& port) : port_(port) {}
    TParityBits Bits() const { return bits_; }
    bool Check() const { return check_; }
    bool Replace() const { return replace_; }
    char ReplaceChar() const { return replaceChar_; }
    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(char value);
    void Assign(const TComParity& source);

private:
    template <class T>
    void Set(T& field, T value);
    TCustomComPort& port_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort& port) : port_(port) {}
    int ReadInterval() const { return readInterval_; }
    int ReadTotalMultiplier() const { return readTotalMultiplier_; }
    int ReadTotalConstant() const { return readTotalConstant_; }
    int WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    int WriteTotalConstant() const { return writeTotalConstant_; }
    void SetReadInterval(int value);
    void SetReadTotalMultiplier(int value);
    void SetReadTotalConstant(int value);
    void SetWriteTotalMultiplier(int value);
    void SetWriteTotalConstant(int value);
    void Assign(const TComTimeouts& source);

private:
    void Set(int& field, int value);
    TCustomComPort& port_;
    int readInterval_ = -1;
    int readTotalMultiplier_ = 0;
    int readTotalConstant_ = 0;
    int writeTotalMultiplier_ = 100;
    int writeTotalConstant_ = 1000;
};

class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort& port) : port_(port) {}

    // The preset the flags amount to; setting it rewrites the RTS, CTS and XON/XOFF flags (all
    // but fcCustom) and always re-applies the line settings.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);

    bool OutCTSFlow() const { return outCTSFlow_; }
    bool OutDSRFlow() const { return outDSRFlow_; }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    char XonChar() const { return xonChar_; }
    char XoffChar() const { return xoffChar_; }
    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(char value);
    void SetXoffChar(char value);
    void Assign(const TComFlowControl& source);

private:
    template <class T>
    void Set(T& field, T value);
    TCustomComPort& port_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

// --- Events -----------------------------------------------------------------------------------

using TNotifyEvent = std::function<void(QObject* sender)>;
using TRxCharEvent = std::function<void(QObject* sender, int count)>;
using TRxBufEvent = std::function<void(QObject* sender, const char* buffer, int count)>;
using TComSignalEvent = std::function<void(QObject* sender, bool onOff)>;
using TComErrorEvent = std::function<void(QObject* sender, TComErrors errors)>;

// --- The port ---------------------------------------------------------------------------------

// A serial port: its settings, the open device, reads and writes, the modem lines, the links of
// the controls that follow it, and (while open with events to watch) the monitor thread that
// turns device events into the notifications below. Failures raise EComPort.
class TCustomComPort : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Connected READ Connected WRITE SetConnected)
    Q_PROPERTY(QString Port READ Port WRITE SetPort)

public:
    // The device defaults to the platform's serial device; tests hand in their own.
    explicit TCustomComPort(QObject* owner = nullptr, std::unique_ptr<TComDevice> device = {});
    ~TCustomComPort() override;

    // Settings
    bool Connected() const { return connected_; }
    void SetConnected(bool value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    int CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(int value);
    const QString& Port() const { return port_; }
    void SetPort(const QString& value);
    TComParity& Parity() { return parity_; }
    const TComParity& Parity() const { return parity_; }
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value) { events_ = value; } // takes effect at the next OpenPort
    TComBuffer& Buffer() { return buffer_; }
    const TComBuffer& Buffer() const { return buffer_; }
    TComFlowControl& FlowControl() { return flowControl_; }
    const TComFlowControl& FlowControl() const { return flowControl_; }
    TComTimeouts& Timeouts() { return timeouts_; }
    const TComTimeouts& Timeouts() const { return timeouts_; }
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);
    // Received characters lead to OnRxChar; when false they are read for OnRxBuf instead.
    bool TriggersOnRxChar() const { return triggersOnRxChar_; }
    void SetTriggersOnRxChar(bool value) { triggersOnRxChar_ = value; }

    // Events
    TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty, OnBreak, OnRing;
    TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
    TNotifyEvent OnRxFlag;
    TComErrorEvent OnError;
    TNotifyEvent OnRx80Full;

    // Operations
    void OpenPort();
    void ClosePort();
    int WriteText(const QByteArray& text);
    int ReadText(QByteArray& text, int count);
    // The modal port settings dialog; programs with widgets install it (SetSettingsDialog).
    void ShowSettingsDialog();
    int BytesWaiting();
    // Written bytes that have not reached the other side yet (a network port's unacknowledged).
    int BytesUnsent();
    TComSignals LineSignals();
    TComErrors LineErrors();
    void BeginSettingsUpdate();
    void EndSettingsUpdate();
    void AbortTransfers();
    void AttachLink(TComLink* link);
    void DetachLink(TComLink* link);

    // While the port is being loaded from a stored layout, setters only store their values.
    void BeginLoading() { loading_ = true; }
    void Loaded();
    bool Loading() const { return loading_; }

    // The line settings as the device takes them, and as the classic device control block
    // lays them out.
    TLineSettings CurrentLineSettings() const;
    TDCB CurrentDCB() const;
    TCommTimeouts CurrentTimeouts() const;

    // The monitor's handling of one batch of device events, in the fixed order: error, received
    // characters, transmit queue empty, break, ring, CTS, DSR, event character, RLSD, 80 % full.
    void RunEventHandlers(TComEvents events);
    // One step of that order (the per-event message path of smWindowSync).
    void RunEventStep(TComEvent event);

    TComDevice& Device() { return *device_; }

Q_SIGNALS:
    // Emitted at the start of destruction, after the port has been closed: controls bound to
    // the port forget it here.
    void Destroying(TCustomComPort* port);

protected:
    virtual void OpenDevice();
    virtual void CloseDevice();
    virtual void ApplyAllSettings();

    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(int count);
    virtual void DoRxBuf(const char* buffer, int count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool onOff);
    virtual void DoDSRChange(bool onOff);
    virtual void DoError(TComErrors errors);
    virtual void DoRLSDChange(bool onOff);
    virtual void DoRx80Full();

public:
    // Applied at once while the port is open and no settings update is in progress.
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyBufferSizes();

private:
    friend class TComThread;

    template <class Slot, class... Args>
    void CallLinks(Slot TComLink::*slot, Args... args);
    bool Applicable() const;
    void RecomputeLinkFlags();
    void NotifyLine(TComSignal line, bool on);
    void HandleRxChar();
    // A device operation failed: raises its error. When the error says the device is gone, the
    // port closes first (nothing on a dead device can succeed again, and a port left open on it
    // would keep a re-plugged adapter out); the raised error is the loss's one report.
    [[noreturn]] void RaiseDeviceError(int reason, int error);
    // The monitor found the device gone: close the port and report it, unless that was done.
    void DeviceLost(unsigned generation, int error);
    // A delivery of the monitor failed. When it failed on a device that went away (RaiseDeviceError
    // raised it in a handler), nobody else saw that: it is reported here; any other failure of a
    // handler ends the monitor silently.
    void ReportDeliveryFailure(unsigned generation, std::exception_ptr failure);

    std::unique_ptr<TComDevice> device_;
    bool connected_ = false;
    bool closing_ = false;
    bool loading_ = false;
    TBaudRate baudRate_ = br9600;
    int customBaudRate_ = 9600;
    QString port_ = QStringLiteral("COM1");
    TComParity parity_{*this};
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = AllComEvents;
    TComBuffer buffer_{*this};
    TComFlowControl flowControl_{*this};
    TComTimeouts timeouts_{*this};
    TSyncMethod syncMethod_ = smThreadSync;
    int updateCount_ = 0;

    std::vector<TComLink*> links_;
    bool linksWantRxData_ = false;
    bool triggersOnRxChar_ = true;

    bool monitorCreated_ = false;
    std::unique_ptr<TComThread> thread_;
    std::unique_ptr<QObject> hiddenWindow_;
    unsigned generation_ = 0; // counts opens, so that news from an earlier monitor is ignored
    bool lossReported_ = false; // the device of this connection went away, and that was said
};

// What ShowSettingsDialog runs. The port knows no widget: the dialog's module installs itself here
// at its start-up (and puts back what was there at its shutdown). Without a dialog,
// ShowSettingsDialog changes nothing.
using TSettingsDialog = void (*)(TCustomComPort& port);
TSettingsDialog SetSettingsDialog(TSettingsDialog dialog); // returns the one it replaces

// The port as the window uses it: every setting published.
class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    using TCustomComPort::TCustomComPort;
};
