// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComTypes.h"

#include <QString>

#include <cstdint>
#include <memory>

// The line settings a device applies, in plain terms.
struct TLineSettings {
    std::uint32_t BaudRate = 9600;
    int DataBits = 8; // 5..8
    TParityBits Parity = prNone;
    TStopBits StopBits = sbOneStopBit;
    bool ParityCheck = false;   // received bytes are checked (and parity errors reported)
    bool ParityReplace = false; // with ParityCheck: a byte with a parity error becomes ReplaceChar
    char ReplaceChar = 0;
    bool DiscardNull = false;   // received NUL bytes are dropped
    // Flow control.
    bool OutCTSFlow = false; // output waits while CTS is off
    bool OutDSRFlow = false; // output waits while DSR is off
    TDTRFlowControl DTRControl = dtrDisable;
    TRTSFlowControl RTSControl = rtsDisable;
    bool DSRSensitivity = false; // input is ignored while DSR is off
    bool XonXoffOut = false;     // output stops at XOFF received, goes on at XON
    bool XonXoffIn = false;      // XOFF and XON are sent as the input queue fills and empties
    bool TxContinueOnXoff = false;
    int XonLimit = 0; // bytes
    int XoffLimit = 0;
    char XonChar = 17;
    char XoffChar = 19;
    char EventChar = 0; // its arrival is an event of its own
};

// The same settings laid out as the classic device control block: the port's documented view of
// them (its flag word and fields are what users and tests compare).
struct TDCB {
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
};

namespace DCBFlag {
inline constexpr std::uint32_t Binary = 0x0001;
inline constexpr std::uint32_t Parity = 0x0002;
inline constexpr std::uint32_t OutxCtsFlow = 0x0004;
inline constexpr std::uint32_t OutxDsrFlow = 0x0008;
inline constexpr int DtrControlShift = 4;  // two bits
inline constexpr std::uint32_t DsrSensitivity = 0x0040;
inline constexpr std::uint32_t TXContinueOnXoff = 0x0080;
inline constexpr std::uint32_t OutX = 0x0100;
inline constexpr std::uint32_t InX = 0x0200;
inline constexpr std::uint32_t ErrorChar = 0x0400;
inline constexpr std::uint32_t Null = 0x0800;
inline constexpr int RtsControlShift = 12; // two bits
}

TDCB ToDCB(const TLineSettings& settings);

// Milliseconds; 0xFFFFFFFF is "maximum" where a timeout uses it.
struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

// What PurgeComm acts on.
namespace PurgeFlag {
inline constexpr unsigned TxAbort = 0x1;
inline constexpr unsigned RxAbort = 0x2;
inline constexpr unsigned TxClear = 0x4;
inline constexpr unsigned RxClear = 0x8;
}

// A manual-reset event the monitor thread waits on beside the device; signalling it wakes a
// waiting WaitCommEvent at once.
class TStopEvent {
public:
    TStopEvent(); // raises EComPort when the system has no event left to give
    ~TStopEvent();
    TStopEvent(const TStopEvent&) = delete;
    TStopEvent& operator=(const TStopEvent&) = delete;

    void Signal();
    bool IsSignalled() const;
    int Handle() const { return fd_; }

private:
    int fd_;
};

enum class TWaitResult { Events, Stopped, Failed };

class TComDevice;
// The device a port uses by default: it opens a network connection for a network port name and
// the serial device of the platform the program was built for otherwise.
std::unique_ptr<TComDevice> CreatePlatformComDevice();

// One open serial device. Every operation returns 0 on success or the operating system's error
// number. The port calls it from the main thread, except WaitCommEvent, which only its monitor
// thread calls, beside the main thread's reads and writes.
class TComDevice {
public:
    virtual ~TComDevice() = default;

    virtual int Open(const QString& portName) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual int SetupComm(int inputSize, int outputSize) = 0;
    virtual int SetLineSettings(const TLineSettings& settings) = 0;
    virtual int SetCommTimeouts(const TCommTimeouts& timeouts) = 0;

    // Completes when the bytes have been sent, or when the write time-out has passed; `written`
    // then tells how many went out (the rest is dropped, never sent late).
    virtual int Write(const char* data, int size, int& written) = 0;
    // Reads up to size bytes, waiting as the read time-outs say.
    virtual int Read(char* data, int size, int& read) = 0;

    // The pending line errors (cleared by the call) and the input-queue byte count.
    virtual int ClearCommError(TComErrors& errors, int& inputCount) = 0;
    // How many written bytes the other side has not taken yet. A device whose writes complete
    // only once their bytes are out (a serial line) has none.
    virtual int OutputCount(int& count)
    {
        count = 0;
        return 0;
    }
    virtual int GetCommModemStatus(TComSignals& signals) = 0;
    virtual int PurgeComm(unsigned flags) = 0;

    // What the device adds, in the user's language, to the error number of its last failed call
    // on the main thread, where the number alone would mislead; empty otherwise.
    virtual QString ErrorDetail() const { return {}; }

    // Whether an error of this device's operations means that the device itself is gone (a USB
    // adapter pulled out), not that one call failed.
    virtual bool IsDeviceGone(int error) const = 0;
    // 0 while the device is there; else the error that shows it is gone. Never blocks.
    virtual int CheckPresent() = 0;

    virtual int SetCommMask(std::uint32_t mask) = 0;
    // Waits until one of the events of the mask occurs (`events` then holds them), the stop event
    // is signalled, or the device fails (`error` then holds why; a device that went away fails).
    virtual TWaitResult WaitCommEvent(const TStopEvent& stop, std::uint32_t& events, int& error) = 0;
};
