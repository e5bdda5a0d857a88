// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdio>

// Where sentrax-program writes: received traffic on standard output, errors and warnings on
// standard error, and, when standard error is a terminal, a progress line that is redrawn in
// place and kept out of the way of everything else written there.
class TConsole {
public:
    explicit TConsole(bool quiet);
    ~TConsole();

    void Line(const QString& text);    // a line of output (not with --quiet)
    void Warning(const QString& text); // not with --quiet
    void Error(const QString& text);
    void Progress(const QString& step);
    void Bell();

private:
    void ClearProgress();

    bool quiet_;
    bool progress_;       // standard error is a terminal
    bool sharesTerminal_; // ... and standard output the same
    QString shown_;  // the progress line on screen
};
