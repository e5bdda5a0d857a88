// SPDX-License-Identifier: GPL-3.0-or-later
// sentrax-program: programs a Sentrax feedback module from a terminal, as the Sentrax
// Configurator's window does. See --help.

#include "Console.h"
#include "CPortModule.h"
#include "EComPort.h"
#include "GnuGettext.h"
#include "PortNames.h"
#include "ProgramOptions.h"
#include "ProgrammingPass.h"
#include "StandardStreams.h"
#include "StopSignals.h"
#include "Utf8Locale.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

int ListPorts(TConsole& console)
{
    try {
        for (const TPortInfo& port : ListPortNames())
            console.Out((port.Description.isEmpty() ? port.Name : port.Name + u'\t' + port.Description) + u'\n');
        return 0;
    } catch (const EComPort& e) {
        console.Error(PortErrorText(QStringLiteral("the serial ports"), e));
        return 3;
    }
}

void PrintDryRun(TConsole& console, const TPassChoice& choice)
{
    for (const TPlannedMessage& m : PlannedMessages(PlanPass(choice))) {
        QString bytes;
        for (std::uint8_t b : m.Bytes)
            bytes += QStringLiteral("%1 ").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        console.Out(QStringLiteral("%1 ms  %2 %3\n")
                        .arg(static_cast<long long>(m.At.count()), 6)
                        .arg(bytes, -15)
                        .arg(m.What));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (!OpenClosedStandardStreams())
        return 1;
    UseUtf8CharacterType();
    // A reader that went away (a closed pipe) is a write error, said at the end; it never ends
    // the program in the middle of a pass.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    // Ctrl-C (and a closing terminal, a session ending) stops once the message in flight has gone
    // out whole, and the port is closed properly, free for the next program.
    TStopSignals stop;
    // The system's own texts (the port's errors, the conversion error) in the user's language,
    // as the window shows them.
    InitializeGnuGettext();
    InitializeCPort();
    const struct TModules {
        ~TModules()
        {
            FinalizeCPort();
            FinalizeGnuGettext();
        }
    } modules;

    const TParsedOptions parsed = ParseProgramOptions(QCoreApplication::arguments().mid(1));
    const TProgramOptions& options = parsed.Options;
    TConsole console(options.Quiet);
    for (const QString& error : TakeCatalogErrors())
        console.Warning(error);
    if (!parsed.Error.isEmpty()) {
        console.Error(parsed.Error);
        std::fprintf(stderr, "Try 'sentrax-program --help'.\n");
        return 2;
    }
    switch (options.Action) {
    case TProgramOptions::Help:
        console.Out(ProgramUsage());
        return console.Finish(0);
    case TProgramOptions::Version:
        console.Out(QStringLiteral("sentrax-program " SENTRAX_VERSION "\n"));
        return console.Finish(0);
    case TProgramOptions::DryRun:
        PrintDryRun(console, options.Pass);
        return console.Finish(0);
    case TProgramOptions::List:
        return console.Finish(ListPorts(console));
    case TProgramOptions::Program:
        break;
    }
    return console.Finish(RunProgrammingPass(options, console, stop));
}
