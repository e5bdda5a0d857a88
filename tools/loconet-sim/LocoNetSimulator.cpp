// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocoNetSimulator.h"

#include "LocoNet.h"

#include <cstdio>
#include <utility>

namespace {

using TBytes = TLocoNetSimulator::TBytes;

constexpr int kSlots = 120; // 120 and above are the station's special slots
constexpr int kInterrogateFirst = 1017;
constexpr int kInterrogateLast = 1020;

TBytes Lack(std::uint8_t opcode, std::uint8_t code)
{
    return LocoNet::WithChecksum(TBytes{0xB4, std::uint8_t(opcode & 0x7F), code});
}

void Append(TBytes& out, const TBytes& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// The length of a message by the bus rules: bits 6 and 5 of the opcode, or the count byte.
int BusLength(const TBytes& frame)
{
    switch ((frame[0] >> 5) & 3) {
    case 0: return 2;
    case 1: return 4;
    case 2: return 6;
    default: return frame.size() >= 2 ? frame[1] : 0;
    }
}

} // namespace

std::string Hex(const TBytes& bytes)
{
    std::string text;
    char digits[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", b);
        text += digits;
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

TLocoNetSimulator::TLocoNetSimulator(TOptions options)
    : options_(options)
    , random_(options.Seed)
{
    slots_[0].Status = 0x00; // the dispatch slot
}

void TLocoNetSimulator::Note(const std::string& line)
{
    report_.push_back(line);
}

std::vector<std::string> TLocoNetSimulator::TakeReport()
{
    return std::exchange(report_, {});
}

TBytes TLocoNetSimulator::Receive(std::uint8_t byte)
{
    TBytes out;
    if (byte & 0x80) {
        if (!frame_.empty())
            Note("dropped broken frame " + Hex(frame_));
        frame_ = {byte};
    } else if (!frame_.empty()) {
        frame_.push_back(byte);
    } else {
        return out; // a data byte outside any message: the bus ignores it
    }
    const int length = BusLength(frame_);
    if (frame_.size() >= 2 && length < 2) {
        Note("dropped frame with count " + std::to_string(length));
        frame_.clear();
        return out;
    }
    if (length == 0 || int(frame_.size()) < length)
        return out;
    const TBytes message = std::exchange(frame_, {});
    if (!LocoNet::ChecksumValid(message)) {
        Note("dropped bad checksum " + Hex(message));
        return out;
    }
    Handle(message, out);
    return out;
}

void TLocoNetSimulator::Handle(const TBytes& message, TBytes& out)
{
    ++messagesReceived_;
    Note("received " + Hex(message));
    Append(out, message); // the echo: the message went out on the bus
    if (options_.Station)
        Station(message, out);
    Module(message, out);
}

TBytes TLocoNetSimulator::SlotData(int slot) const
{
    const TSlot& s = slots_[std::size_t(slot)];
    return LocoNet::WithChecksum(TBytes{0xE7, 0x0E, std::uint8_t(slot), s.Status, std::uint8_t(s.Address & 0x7F),
                                        0, 0, std::uint8_t(power_ ? 0x07 : 0x04), 0,
                                        std::uint8_t((s.Address >> 7) & 0x7F), 0, 0, 0});
}

void TLocoNetSimulator::Station(const TBytes& m, TBytes& out)
{
    TBytes reply;
    switch (m[0]) {
    case 0x83:
        power_ = true;
        break;
    case 0x82:
        power_ = false;
        break;
    case 0xBB: // request slot data
        reply = m[1] < kSlots ? SlotData(m[1]) : Lack(m[0], 0);
        break;
    case 0xBF: { // request the slot of a locomotive address
        const int address = m[1] * 128 + m[2];
        int found = -1;
        for (int s = 1; s < kSlots && found < 0; ++s)
            if (slots_[std::size_t(s)].Address == address && (slots_[std::size_t(s)].Status & 0x30))
                found = s;
        for (int s = 1; s < kSlots && found < 0; ++s)
            if ((slots_[std::size_t(s)].Status & 0x30) == 0 && slots_[std::size_t(s)].Address == 0)
                found = s;
        if (found < 0) {
            reply = Lack(m[0], 0);
        } else {
            slots_[std::size_t(found)].Address = address;
            reply = SlotData(found);
        }
        break;
    }
    case 0xBA: // move slots; source = destination claims the slot
        if (m[1] == m[2] && m[1] != 0 && m[1] < kSlots) {
            TSlot& s = slots_[m[1]];
            s.Status = std::uint8_t((s.Status & ~0x30) | 0x30);
            reply = SlotData(m[1]);
        } else {
            reply = Lack(m[0], 0); // nothing dispatched, or a move this station refuses
        }
        break;
    default:
        break; // switch requests and the rest: no reply
    }
    if (reply.empty())
        return;
    if (options_.Busy)
        Append(out, LocoNet::WithChecksum(TBytes{0x81}));
    Note("replied " + Hex(reply));
    Append(out, reply);
}

TBytes TLocoNetSimulator::InputReport(int contact, bool occupied)
{
    const int n = contact - 1;
    const std::uint8_t in1 = std::uint8_t((n >> 1) & 0x7F);
    const std::uint8_t in2 = std::uint8_t(0x40 | ((n & 1) ? 0x20 : 0) | (occupied ? 0x10 : 0) | ((n >> 8) & 0x0F));
    return LocoNet::WithChecksum(TBytes{0xB2, in1, in2});
}

TBytes TLocoNetSimulator::ReportAll() const
{
    TBytes out;
    for (int i = 0; i < module_.ContactCount; ++i)
        Append(out, InputReport(module_.FirstContact + i, module_.Levels[std::size_t(i)]));
    return out;
}

void TLocoNetSimulator::Module(const TBytes& m, TBytes& out)
{
    // The start messages put the module into its programming mode.
    if (m.size() == 4 && m[0] == 0xBB && m[1] == 0x17 && m[2] == 0x00) {
        module_.Stage = TModule::FirstPair;
        module_.PendingAddress = -1;
        Note("module: programming mode");
        return;
    }
    if (m[0] != 0xB0)
        return;
    const int address = (m[2] & 0x0F) * 128 + m[1] + 1;
    const bool outputOn = m[2] & 0x10;
    const bool directionSet = m[2] & 0x20;
    if (outputOn) {
        module_.PendingAddress = address;
        return;
    }
    if (module_.PendingAddress != address)
        return;
    module_.PendingAddress = -1;
    switch (module_.Stage) {
    case TModule::Waiting:
        break;
    case TModule::FirstPair:
        module_.FirstContact = address;
        module_.CurrentMonitor = directionSet;
        module_.Stage = TModule::CountPair;
        Note("module: first contact " + std::to_string(address)
             + (directionSet ? ", current monitor on" : ", counting from it"));
        break;
    case TModule::CountPair:
        module_.ContactCount = address;
        module_.Levels.assign(std::size_t(address), false);
        module_.Stage = TModule::Running;
        Note("module: " + std::to_string(address) + " contacts; reporting their states");
        Append(out, ReportAll());
        break;
    case TModule::Running:
        if (address >= kInterrogateFirst && address <= kInterrogateLast) {
            Note("module: interrogated");
            Append(out, ReportAll());
        }
        break;
    }
}

TBytes TLocoNetSimulator::ChangeContact()
{
    if (module_.Stage != TModule::Running || module_.ContactCount <= 0)
        return {};
    const int i = int(random_() % std::uint32_t(module_.ContactCount));
    module_.Levels[std::size_t(i)] = !module_.Levels[std::size_t(i)];
    return InputReport(module_.FirstContact + i, module_.Levels[std::size_t(i)]);
}

TBytes TLocoNetSimulator::Burst(int n)
{
    TBytes out;
    const bool running = module_.Stage == TModule::Running && module_.ContactCount > 0;
    for (int i = 0; i < n; ++i) {
        const int contact = running ? module_.FirstContact + i % module_.ContactCount : 1 + i % 4096;
        Append(out, InputReport(contact, i % 2 == 0));
    }
    return out;
}
