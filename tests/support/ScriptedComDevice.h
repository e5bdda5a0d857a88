// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"

#include <QByteArray>
#include <QStringList>

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// A device whose behaviour the test sets: modem lines, error flags, input bytes, failures of
// single calls, and events for the monitor. It records the calls the port makes. The test keeps
// the script after handing the device to a port.
struct TDeviceScript {
    std::mutex Mutex;

    // Failures: the errno a call returns (0 = success).
    int OpenError = 0;
    int SetupError = 0;
    int StateError = 0;
    int TimeoutsError = 0;
    int WriteError = 0;
    int ReadError = 0;
    int ClearError = 0;
    int ModemError = 0;
    int PurgeError = 0;
    bool Gone = false; // the device went away: CheckPresent says so

    TComSignals Signals;
    TComErrors Errors;   // reported (and cleared) by the next ClearCommError
    QByteArray Input;    // bytes waiting to be read
    QByteArray Output;   // bytes written
    int WriteShortBy = 0; // a write sends this many bytes fewer than asked

    bool Open = false;
    QString OpenedName;
    QStringList Calls; // every call, in order
    std::vector<TDCB> States;
    std::vector<TCommTimeouts> Timeouts;
    std::vector<std::uint32_t> Masks;

    // Events handed to the monitor's wait, and a failure to end it with.
    std::deque<std::uint32_t> PendingEvents;
    int WaitFailure = 0;

    int CallCount(const QString& name);
};

class TScriptedComDevice final : public TComDevice {
public:
    TScriptedComDevice();
    ~TScriptedComDevice() override;

    std::shared_ptr<TDeviceScript> Script() const { return script_; }
    // Hands a batch of events (device mask bits) to the monitor.
    void Raise(std::uint32_t events);
    // Makes the monitor's wait fail, as a device that went away does.
    void FailWait(int error);

    int Open(const QString& portName) override;
    void Close() override;
    bool IsOpen() const override;
    int SetupComm(int inputSize, int outputSize) override;
    int SetLineSettings(const TLineSettings& settings) override;
    int SetCommTimeouts(const TCommTimeouts& timeouts) override;
    int Write(const char* data, int size, int& written) override;
    int Read(char* data, int size, int& read) override;
    int ClearCommError(TComErrors& errors, int& inputCount) override;
    int GetCommModemStatus(TComSignals& signals) override;
    int PurgeComm(unsigned flags) override;
    bool IsDeviceGone(int error) const override;
    int CheckPresent() override;
    int SetCommMask(std::uint32_t mask) override;
    TWaitResult WaitCommEvent(const TStopEvent& stop, std::uint32_t& events, int& error) override;

private:
    void Wake();
    std::shared_ptr<TDeviceScript> script_;
    int wake_; // eventfd
};
