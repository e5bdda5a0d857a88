// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComTypes.h"

#include <QString>
#include <QStringList>

#include <optional>

// What sentrax-program is asked to do, checked before anything is opened or sent.

enum class TModuleVersion { Version10or12, Version11, Kwadrant };

// One programming pass, as the window makes it for the same choices.
struct TPassChoice {
    TModuleVersion Version = TModuleVersion::Version10or12;
    bool CurrentMonitor = false; // version 1.1 only: "Current Monitor On" rather than "... Off"
    int FirstContact = 1;
    int Count = 8;
};

struct TProgramOptions {
    enum TAction { Help, Version, List, Program, DryRun };
    TAction Action = Program;
    QString Port;
    std::optional<TBaudRate> Rate; // the window's 19200 unless another is asked for
    TPassChoice Pass;
    bool Quiet = false;
};

// The window's limits: the first contact as its spinner allows (1 to 2041), the number of
// contacts likewise (1 to 256).
inline constexpr int MaxFirstContact = 2041;
inline constexpr int MaxContactCount = 256;

// The options, or the reason the arguments were refused (naming the argument).
struct TParsedOptions {
    TProgramOptions Options;
    QString Error;
};
TParsedOptions ParseProgramOptions(const QStringList& arguments);

// The --help text.
QString ProgramUsage();
