// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LocoNet.h"
#include "ProgramOptions.h"

#include <QString>

#include <chrono>
#include <exception>
#include <vector>

// A programming pass as the window makes it for the same choices: the version's seven start
// messages, then the first contact as the button for that version sends it, then the number of
// contacts as "Range" sends it. The pass is planned first, so that what a dry run shows is what
// a run sends.
struct TPassStep {
    enum TKind { StartMessage, SwitchRequests };
    TKind Kind = StartMessage;
    LocoNet::TMessage Message; // a start message
    int Address = 0;           // switch requests: the value sent, and their direction
    bool Thrown = false;
    QString What;              // as the progress display names the step
};
std::vector<TPassStep> PlanPass(const TPassChoice& choice);

// The messages of a plan on the wire (checksums included), each with the time its first byte is
// planned to leave, from the pacing: BytePause after every byte, SwitchPairPause inside a pair.
// Slot claims that answer the command station come on top and are not planned.
struct TPlannedMessage {
    std::chrono::milliseconds At;
    LocoNet::TMessage Bytes;
    QString What;
};
std::vector<TPlannedMessage> PlannedMessages(const std::vector<TPassStep>& plan);

class EComPort;
class TConsole;
class TStopSignals;

// A port's error as a Linux program says it: the port, the system's reason, any detail the device
// gave, and the code ("/dev/ttyUSB0: Permission denied (code 13)").
QString PortErrorText(const QString& port, const EComPort& e);
// The same for any error of a pass; other errors by their own message.
QString ErrorText(const QString& port, const std::exception_ptr& error);

// Runs the whole program for a pass over a port: opens it as the window does, runs the plan,
// prints what arrives, closes the port. Returns the exit code: 0, 3 (the port did not open),
// 4 (it failed during the pass), 5 (nothing came back), or 128 + the stop signal's number.
int RunProgrammingPass(const TProgramOptions& options, TConsole& console, TStopSignals& stop);
