// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdio>

// Where sentrax-program writes: received traffic on standard output, errors and warnings on
// standard error, and, when standard error is a terminal, a progress line that is redrawn in
// place and kept out of the way of everything else written there. Output that cannot be written
// (a full disk, a reader that went away) never stops the program: it is noted, and said at the
// end.
class TConsole {
public:
    explicit TConsole(bool quiet);
    ~TConsole();

    void Out(const QString& text);     // text for standard output, as it is
    void Line(const QString& text);    // a line of output (not with --quiet)
    void Warning(const QString& text); // not with --quiet
    void Error(const QString& text);
    void Progress(const QString& step);
    void Bell();

    // The program's exit code once everything is written: `code`, or 1 when the output could
    // not be written all the same (which is then said on standard error).
    int Finish(int code);

private:
    void ClearProgress();
    void Write(const QByteArray& bytes);

    bool quiet_;
    bool progress_;       // standard error is a terminal
    bool sharesTerminal_; // ... and standard output the same
    QString shown_;  // the progress line on screen
    int outputError_ = 0; // the system's code for the first write to standard output that failed
};
