// SPDX-License-Identifier: GPL-3.0-or-later
#include "Console.h"

#include "Terminal.h"

#include <QByteArray>

#include <cerrno>

TConsole::TConsole(bool quiet)
    : quiet_(quiet)
    , progress_(!quiet && StandardErrorIsTerminal())
    , sharesTerminal_(progress_ && StandardOutputIsTerminal())
{
}

TConsole::~TConsole()
{
    ClearProgress();
}

void TConsole::ClearProgress()
{
    if (shown_.isEmpty())
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_.clear();
}

void TConsole::Write(const QByteArray& bytes)
{
    errno = 0;
    if ((std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) != std::size_t(bytes.size())
         || std::fflush(stdout) != 0)
        && outputError_ == 0)
        outputError_ = errno != 0 ? errno : EIO;
    std::clearerr(stdout);
}

void TConsole::Out(const QString& text)
{
    Write(text.toLocal8Bit());
}

void TConsole::Line(const QString& text)
{
    if (quiet_)
        return;
    // On the terminal the progress line is on, a line of output goes where it was.
    const QString step = sharesTerminal_ ? shown_ : QString();
    if (sharesTerminal_)
        ClearProgress();
    Write(text.toLocal8Bit() + '\n');
    if (!step.isEmpty())
        Progress(step);
}

int TConsole::Finish(int code)
{
    if (std::fflush(stdout) != 0 && outputError_ == 0)
        outputError_ = errno != 0 ? errno : EIO;
    if (outputError_ == 0)
        return code;
    Error(QStringLiteral("cannot write the output: %1 (code %2)").arg(qt_error_string(outputError_)).arg(outputError_));
    return code == 0 ? 1 : code;
}

void TConsole::Warning(const QString& text)
{
    if (quiet_)
        return;
    const QString step = shown_;
    ClearProgress();
    std::fprintf(stderr, "sentrax-program: warning: %s\n", text.toLocal8Bit().constData());
    if (!step.isEmpty())
        Progress(step);
}

void TConsole::Error(const QString& text)
{
    ClearProgress();
    std::fprintf(stderr, "sentrax-program: %s\n", text.toLocal8Bit().constData());
}

void TConsole::Progress(const QString& step)
{
    if (!progress_)
        return;
    shown_ = step;
    std::fprintf(stderr, "\r\033[K%s", step.toLocal8Bit().constData());
    std::fflush(stderr);
}

void TConsole::Bell()
{
    if (progress_) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}
