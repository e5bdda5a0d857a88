// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// What sits behind a serial LocoNet interface, as far as the configurator can tell: the
// interface itself (it puts each well-formed message on the bus and echoes it back), a command
// station with slots, and a Sentrax-like feedback module that takes its settings from switch
// requests and then reports its contacts.
class TLocoNetSimulator {
public:
    struct TOptions {
        bool Station = true;  // without one, only echoes come back
        bool Busy = false;    // the station says "busy" (81 7E) before each reply
        std::uint32_t Seed = 1;
    };
    using TBytes = std::vector<std::uint8_t>;

    explicit TLocoNetSimulator(TOptions options);

    // A byte from the PC; returns the bytes that go back to it (echo first, then replies).
    TBytes Receive(std::uint8_t byte);
    // A contact of the programmed module changes; its input report (nothing before the module
    // has been programmed).
    TBytes ChangeContact();
    // n input reports of the programmed module's contacts (or of contacts 1.. when it has not been
    // programmed), one after another.
    TBytes Burst(int n);

    // What happened, one line per message, for people to read.
    std::vector<std::string> TakeReport();

    // Well-formed messages from the PC so far.
    int MessagesReceived() const { return messagesReceived_; }
    bool ModuleRunning() const { return module_.Stage == TModule::Running; }
    int FirstContact() const { return module_.FirstContact; }
    int ContactCount() const { return module_.ContactCount; }
    bool CurrentMonitor() const { return module_.CurrentMonitor; }

    static TBytes InputReport(int contact, bool occupied);

private:
    struct TSlot {
        std::uint8_t Status = 0x03; // free, 128 speed steps
        int Address = 0;
    };
    struct TModule {
        enum TStage { Waiting, FirstPair, CountPair, Running } Stage = Waiting;
        int FirstContact = 0;
        int ContactCount = 0;
        bool CurrentMonitor = false;
        int PendingAddress = -1; // an output-on request waiting for its output-off
        std::vector<bool> Levels;
    };

    void Handle(const TBytes& message, TBytes& out);
    void Station(const TBytes& message, TBytes& out);
    void Module(const TBytes& message, TBytes& out);
    TBytes SlotData(int slot) const;
    TBytes ReportAll() const;
    void Note(const std::string& line);

    TOptions options_;
    TBytes frame_;
    std::array<TSlot, 128> slots_{};
    bool power_ = false;
    TModule module_;
    std::mt19937 random_;
    std::vector<std::string> report_;
    int messagesReceived_ = 0;
};

std::string Hex(const TLocoNetSimulator::TBytes& bytes);
