// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"

#include <memory>

// The device a port opens by its name: a network connection for a name with a network scheme
// (see NetPortName.h), else the platform's serial device. Everything above it, the port and its
// monitor thread, sees one device either way.
class TPortDevice final : public TComDevice {
public:
    int Open(const QString& portName) override;
    void Close() override;
    bool IsOpen() const override { return device_ && device_->IsOpen(); }

    int SetupComm(int inputSize, int outputSize) override { return Use().SetupComm(inputSize, outputSize); }
    int SetLineSettings(const TLineSettings& settings) override { return Use().SetLineSettings(settings); }
    int SetCommTimeouts(const TCommTimeouts& timeouts) override { return Use().SetCommTimeouts(timeouts); }
    int Write(const char* data, int size, int& written) override { return Use().Write(data, size, written); }
    int Read(char* data, int size, int& read) override { return Use().Read(data, size, read); }
    int ClearCommError(TComErrors& errors, int& inputCount) override { return Use().ClearCommError(errors, inputCount); }
    int OutputCount(int& count) override { return Use().OutputCount(count); }
    int GetCommModemStatus(TComSignals& signals) override { return Use().GetCommModemStatus(signals); }
    int PurgeComm(unsigned flags) override { return Use().PurgeComm(flags); }
    QString ErrorDetail() const override { return device_ ? device_->ErrorDetail() : QString(); }
    bool IsDeviceGone(int error) const override { return device_ && device_->IsDeviceGone(error); }
    int CheckPresent() override { return Use().CheckPresent(); }
    int SetCommMask(std::uint32_t mask) override { return Use().SetCommMask(mask); }
    TWaitResult WaitCommEvent(const TStopEvent& stop, std::uint32_t& events, int& error) override
    {
        return Use().WaitCommEvent(stop, events, error);
    }

private:
    // The device of the last open; before the first, a serial device that is not open (its
    // calls fail as a closed device's do).
    TComDevice& Use();

    std::unique_ptr<TComDevice> device_;
    bool network_ = false;
};

// The platform's serial device (its source is chosen by the build).
std::unique_ptr<TComDevice> CreateSerialComDevice();
