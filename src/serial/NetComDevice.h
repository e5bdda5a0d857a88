// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComDevice.h"
#include "LbServerProtocol.h"
#include "MonitorWait.h"
#include "NetPortName.h"
#include "TelnetProtocol.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// A port reached over the network, behind the same interface as a serial device: a raw TCP
// serial server (tcp://), a LoconetOverTcp server (lbserver://), or a Telnet server with COM port
// control (rfc2217://). What the server sends is decoded into an input queue that reads, the
// byte count and the monitor's events work on; the socket is read by whichever thread asks first.
class TNetComDevice final : public TComDevice {
public:
    TNetComDevice() = default;
    ~TNetComDevice() override;

    // How long name resolution and connecting may take together, and how long an RFC 2217 server
    // may take to answer the COM port option or a setting.
    static constexpr std::chrono::milliseconds ConnectTime{5000};
    static constexpr std::chrono::milliseconds AnswerTime{3000};
    // How long a write waits for a LocoNet server to say it put the message on the bus (it does
    // within milliseconds; the bus allows a message well within one).
    static constexpr std::chrono::milliseconds SentAnswerTime{1000};

    int Open(const QString& portName) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    int SetupComm(int inputSize, int outputSize) override;
    int SetLineSettings(const TLineSettings& settings) override;
    int SetCommTimeouts(const TCommTimeouts& timeouts) override;

    int Write(const char* data, int size, int& written) override;
    int Read(char* data, int size, int& read) override;

    int ClearCommError(TComErrors& errors, int& inputCount) override;
    // A write completes once the socket has its bytes: these are the ones the server has not
    // acknowledged yet.
    int OutputCount(int& count) override;
    int GetCommModemStatus(TComSignals& signals) override;
    int PurgeComm(unsigned flags) override;

    QString ErrorDetail() const override { return errorDetail_; }
    bool IsDeviceGone(int error) const override;
    int CheckPresent() override;

    int SetCommMask(std::uint32_t mask) override;
    TWaitResult WaitCommEvent(const TStopEvent& stop, std::uint32_t& events, int& error) override;

private:
    using Clock = std::chrono::steady_clock;
    // Reads what the socket holds without waiting and decodes it; returns the connection's
    // error once it has failed or closed.
    int Pump();
    int PumpLocked(std::string& answers);
    int Send(const std::string& bytes, Clock::time_point deadline);
    int SendComPortCommand(std::uint8_t command, std::uint8_t value, std::uint8_t& answer);
    int SendBaudRate(std::uint32_t rate, std::uint32_t& answer);
    // Waits up to the time until arrived() (called under mutex_) holds: 0, ETIMEDOUT, or the
    // connection's error.
    int AwaitAnswer(std::chrono::milliseconds time, const std::function<bool()>& arrived);
    int AwaitReply(std::uint8_t command, unsigned after, std::vector<std::uint8_t>& value);
    // One message as a SEND line, and the server's answer to it.
    int SendMessage(const std::vector<std::uint8_t>& message, Clock::time_point deadline);
    void Fail(int error);

    TNetScheme scheme_ = TNetScheme::Tcp;
    int fd_ = -1;
    TMonitorWait monitorWait_; // kicked after a write, and when a call took bytes off the socket
    QString errorDetail_;
    TCommTimeouts timeouts_{};
    bool settingsApplied_ = false;
    TLineSettings applied_{};

    // Guards the socket's input side and everything decoded from it.
    std::mutex mutex_;
    std::string input_;
    LbServer::TLineReader lines_;
    Telnet::TReader telnet_;
    std::map<std::uint8_t, std::pair<unsigned, std::vector<std::uint8_t>>> replies_; // command -> (count, value)
    unsigned replyCount_ = 0;
    unsigned sentAnswers_ = 0; // SENT lines (lbserver)

    std::mutex sendMutex_; // whole commands and messages go out one after another
    LbServer::TMessageGatherer gatherer_;

    std::atomic<int> failed_{0};           // the connection's error once it failed or closed
    std::atomic<bool> sentError_{false};   // the server could not send a message (lbserver)
    bool awaitSent_ = true;                // whether a write waits for the server's SENT answer
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint8_t> modemState_{0};
    std::atomic<bool> txPending_{false};

    // The monitor's view at its last look.
    std::uint64_t seenReceived_ = 0;
    std::uint8_t seenModem_ = 0;
};

// While set, a descriptor that ends every open in progress (name resolution, connecting) as
// soon as it becomes readable: a program's stop signals. -1 for none.
void SetOpenCancelHandle(int fd);
// Whether that descriptor is readable now: an open that failed just now was cancelled.
bool OpenCancelRequested();
