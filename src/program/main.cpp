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

#include <QCoreApplication>

#include <cstdio>

namespace {

int ListPorts(TConsole& console)
{
    try {
        for (const TPortInfo& port : ListPortNames())
            std::printf("%s\n", qPrintable(port.Description.isEmpty() ? port.Name : port.Name + u'\t' + port.Description));
        return 0;
    } catch (const EComPort& e) {
        console.Error(e.Message());
        return 3;
    }
}

void PrintDryRun(const TPassChoice& choice)
{
    for (const TPlannedMessage& m : PlannedMessages(PlanPass(choice))) {
        QString bytes;
        for (std::uint8_t b : m.Bytes)
            bytes += QStringLiteral("%1 ").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        std::printf("%6lld ms  %-15s %s\n", static_cast<long long>(m.At.count()), qPrintable(bytes), qPrintable(m.What));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (!OpenClosedStandardStreams())
        return 1;
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
        std::printf("%s", qPrintable(ProgramUsage()));
        return 0;
    case TProgramOptions::DryRun:
        PrintDryRun(options.Pass);
        return 0;
    case TProgramOptions::List:
        return ListPorts(console);
    case TProgramOptions::Program:
        break;
    }
    return RunProgrammingPass(options, console, stop);
}
