// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"
#include "MonitorWait.h"
#include "PosixLineSettings.h"

#include <atomic>
#include <cstdint>

// A serial device on Linux: a tty opened exclusively, configured through termios2, with the
// monitor's event wait built on poll().
class TPosixComDevice final : public TComDevice {
public:
    TPosixComDevice() = default;
    ~TPosixComDevice() override;

    // The device a port name stands for: a name with a "/" in it is a path, relative to the
    // working directory unless it begins with "/"; a bare name is a device under /dev ("ttyUSB0"
    // and "/dev/ttyUSB0" name the same device).
    static QString DevicePath(const QString& portName);

    int Open(const QString& portName) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    int SetupComm(int inputSize, int outputSize) override;
    int SetLineSettings(const TLineSettings& settings) override;
    int SetCommTimeouts(const TCommTimeouts& timeouts) override;

    int Write(const char* data, int size, int& written) override;
    int Read(char* data, int size, int& read) override;

    int ClearCommError(TComErrors& errors, int& inputCount) override;
    int GetCommModemStatus(TComSignals& signals) override;
    int PurgeComm(unsigned flags) override;

    QString ErrorDetail() const override { return errorDetail_; }
    bool IsDeviceGone(int error) const override;
    int CheckPresent() override;

    int SetCommMask(std::uint32_t mask) override;
    TWaitResult WaitCommEvent(const TStopEvent& stop, std::uint32_t& events, int& error) override;

    // Kernel error counters (frame, parity, overrun, buffer overrun, break).
    struct TErrorCounts {
        int Frame = 0;
        int Parity = 0;
        int Overrun = 0;
        int BufferOverrun = 0;
        int Break = 0;
    };

private:
    int InputCount(int& count) const;
    int OutputCount() const;
    int ReceivedTotal(std::uint64_t& total) const;
    void Rebaseline(std::uint32_t mask);
    int DetectEvents(std::uint32_t mask, std::uint32_t& found);

    int fd_ = -1;
    QString errorDetail_;
    TMonitorWait monitorWait_; // kicked after a write, or when a read took the event character
    TPosixLine line_{};
    TCommTimeouts timeouts_{};
    int inputSize_ = 0;
    TErrorCounts cleared_{}; // error counts at the last ClearCommError
    bool errorCountsAvailable_ = false;

    // Shared between the main thread and the monitor thread.
    std::atomic<std::uint64_t> bytesRead_{0};
    std::atomic<bool> txPending_{false};
    std::atomic<bool> eventCharSeen_{false};

    // The monitor thread's view of the line at its last look.
    struct TMonitorState {
        std::uint64_t Received = 0;
        bool ModemLinesAvailable = false;
        int ModemLines = 0;
        bool ErrorCountsAvailable = false;
        TErrorCounts Errors{};
        bool Above80 = false;
    } monitor_;
};
