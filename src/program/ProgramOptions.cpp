// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramOptions.h"

#include "Exception.h"
#include "SysUtils.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <algorithm>

namespace {

QString Quoted(const QString& text)
{
    return u'\'' + text + u'\'';
}

// The argument an unknown option name came from, as the user typed it ("-V", "--modul=1.1").
QString AsTyped(const QString& name, const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (!argument.startsWith(u'-'))
            continue;
        qsizetype from = 0;
        while (from < argument.size() && argument[from] == u'-')
            ++from;
        const QString typed = argument.left(argument.indexOf(u'=') >= 0 ? argument.indexOf(u'=') : argument.size());
        if (typed.mid(from) == name)
            return typed;
    }
    return QStringLiteral("--") + name;
}

// Whether an argument asks for the program's version.
bool IsVersionOption(const QString& argument)
{
    return argument == u"--version" || argument.startsWith(QStringLiteral("--version="));
}

// A whole number within the limits, or the reason it is refused.
std::optional<int> Number(const QString& option, const QString& text, int low, int high, const QString& what,
                          QString& error)
{
    try {
        const int value = StrToInt(text);
        if (value < low || value > high) {
            error = QStringLiteral("--%1: %2 is not %3 the configurator offers (%4 to %5)")
                        .arg(option, text, what)
                        .arg(low)
                        .arg(high);
            return std::nullopt;
        }
        return value;
    } catch (const EConvertError& e) {
        error = QStringLiteral("--%1: %2").arg(option, e.Message());
        return std::nullopt;
    }
}

} // namespace

QString ProgramUsage()
{
    return QStringLiteral(R"(Usage: sentrax-program --port PORT --module VERSION --first N --count M [options]
       sentrax-program --list
       sentrax-program --module VERSION --first N --count M --dry-run
       sentrax-program --help | --version

Programs a Sentrax S88 feedback module over a serial LocoNet interface, as the Sentrax
Configurator's window does: the version's seven start messages (slot data that the command
station sends back is answered with a claim of the slot), then the first contact and the number
of contacts, each as a pair of switch requests. Every LocoNet message received is printed once,
as hex bytes, and each input report also as "contact N: level L", until the line has been quiet
for half a second after the pass (ten seconds at most). The layout's power stays on.

Options:
  --port PORT            the LocoNet interface's serial port (see --list): a device such as
                         /dev/ttyUSB0 or ttyUSB0, or a path to one; or a network port:
                         lbserver://HOST[:PORT] (a LocoNet-over-TCP server, port 1234 by
                         default), tcp://HOST:PORT (a raw TCP serial server), or
                         rfc2217://HOST:PORT (a Telnet serial server with RFC 2217)
  --module VERSION       the module's version: 1.0 or 1.2 (one choice), 1.1, or kwadrant
  --first N              the first S88 contact the module reports (1 to 2041)
  --count M              the number of contacts it reports (1 to 256)
  --monitor on|off       version 1.1 only, and needed there: on when the track voltage is wired
                         to the module's two-pole connector as a reference (Current Monitor On),
                         off when it is not (Current Monitor Off)
  --rate RATE            the port's rate, as the settings dialog offers them (default 19200,
                         with RTS/CTS handshake; any other rate without flow control); no
                         effect on tcp:// and lbserver://, whose servers keep their own
  --list                 print the ports the settings dialog would offer, one a line, with the
                         USB maker and product where known (network ports named in
                         SENTRAX_EXTRA_PORTS or ~/.config/sentrax-configurator/ports included)
  --dry-run              print the bytes the pass would send, with their planned times; no port
  --quiet                print only errors
  --help, -h             show this text
  --version              show the program's version

Exit status: 0 done; 1 the output could not be written (the pass itself was completed);
2 an argument was refused (nothing was sent); 3 the port could not be opened, or the ports could
not be listed; 4 the port failed or went away during the pass; 5 nothing came back from the port
(is it the LocoNet interface?), or not every message sent did; 128 + the signal's number when stopped by one (130 for Ctrl-C):
the message being sent goes out whole (a switch-request pair both its messages), then the port
is closed; a second Ctrl-C changes nothing. Errors name the port, the system's reason and its
code.
)");
}

TParsedOptions ParseProgramOptions(const QStringList& arguments)
{
    TParsedOptions parsed;
    TProgramOptions& o = parsed.Options;
    QString& error = parsed.Error;

    // --version was once the module's version: an old command line with it must fail, not pass
    // for a question about this program's version and program nothing.
    if (std::any_of(arguments.begin(), arguments.end(), IsVersionOption)) {
        if (arguments == QStringList{QStringLiteral("--version")})
            o.Action = TProgramOptions::Version;
        else
            error = QStringLiteral("--version: shows this program's version and takes nothing else; the module's "
                                   "version is --module (1.0 or 1.2, 1.1, or kwadrant)");
        return parsed;
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("PORT"));
    const QCommandLineOption module(QStringLiteral("module"), {}, QStringLiteral("VERSION"));
    const QCommandLineOption first(QStringLiteral("first"), {}, QStringLiteral("N"));
    const QCommandLineOption count(QStringLiteral("count"), {}, QStringLiteral("M"));
    const QCommandLineOption monitor(QStringLiteral("monitor"), {}, QStringLiteral("on|off"));
    const QCommandLineOption rate(QStringLiteral("rate"), {}, QStringLiteral("RATE"));
    const QCommandLineOption list(QStringLiteral("list"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({port, module, first, count, monitor, rate, list, dryRun, quiet, help});
    if (!parser.parse(QStringList{QStringLiteral("sentrax-program")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        error = unknown.isEmpty() ? parser.errorText()
                                  : QStringLiteral("%1: no such option").arg(Quoted(AsTyped(unknown.first(), arguments)));
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("%1: an argument without an option (the options are --port, --module, ...)")
                    .arg(Quoted(parser.positionalArguments().first()));
        return parsed;
    }
    for (const QCommandLineOption* option : {&port, &module, &first, &count, &monitor, &rate}) {
        if (parser.values(*option).size() > 1) {
            error = QStringLiteral("--%1: given more than once").arg(option->names().first());
            return parsed;
        }
    }
    o.Quiet = parser.isSet(quiet);
    if (parser.isSet(help)) {
        o.Action = TProgramOptions::Help;
        return parsed;
    }
    if (parser.isSet(list)) {
        o.Action = TProgramOptions::List;
        for (const QCommandLineOption* option : {&port, &module, &first, &count, &monitor, &rate, &dryRun}) {
            if (parser.isSet(*option)) {
                error = QStringLiteral("--list: takes no --%1").arg(option->names().first());
                return parsed;
            }
        }
        return parsed;
    }
    o.Action = parser.isSet(dryRun) ? TProgramOptions::DryRun : TProgramOptions::Program;

    if (o.Action == TProgramOptions::Program) {
        o.Port = parser.value(port);
        if (o.Port.isEmpty()) {
            error = QStringLiteral("--port: needed, the LocoNet interface's serial port (--list shows them)");
            return parsed;
        }
    }
    if (!parser.isSet(module)) {
        error = QStringLiteral("--module: needed: 1.0 or 1.2, 1.1, or kwadrant");
        return parsed;
    }
    const QString v = parser.value(module).toLower();
    if (v == u"1.0" || v == u"1.2")
        o.Pass.Version = TModuleVersion::Version10or12;
    else if (v == u"1.1")
        o.Pass.Version = TModuleVersion::Version11;
    else if (v == u"kwadrant")
        o.Pass.Version = TModuleVersion::Kwadrant;
    else {
        error = QStringLiteral("--module: %1 is no Sentrax version (1.0 or 1.2, 1.1, or kwadrant)").arg(Quoted(parser.value(module)));
        return parsed;
    }
    if (o.Pass.Version == TModuleVersion::Version11) {
        const QString m = parser.value(monitor).toLower();
        if (!parser.isSet(monitor)) {
            error = QStringLiteral("--monitor: needed for version 1.1: on when the track voltage is wired to the "
                                   "two-pole connector as a reference, off when it is not");
            return parsed;
        }
        if (m != u"on" && m != u"off") {
            error = QStringLiteral("--monitor: %1 is neither on nor off").arg(Quoted(parser.value(monitor)));
            return parsed;
        }
        o.Pass.CurrentMonitor = m == u"on";
    } else if (parser.isSet(monitor)) {
        error = QStringLiteral("--monitor: only version 1.1 has a current monitor");
        return parsed;
    }
    for (const auto& [option, target, high, what] :
         {std::tuple{&first, &o.Pass.FirstContact, MaxFirstContact, QStringLiteral("a first contact")},
          std::tuple{&count, &o.Pass.Count, MaxContactCount, QStringLiteral("a number of contacts")}}) {
        const QString name = option->names().first();
        if (!parser.isSet(*option)) {
            error = QStringLiteral("--%1: needed").arg(name);
            return parsed;
        }
        const std::optional<int> value = Number(name, parser.value(*option), 1, high, what, error);
        if (!value)
            return parsed;
        *target = *value;
    }
    if (parser.isSet(rate)) {
        const QString text = parser.value(rate);
        const TBaudRate value = TextToBaudRate(text);
        // The settings dialog's list, apart from "Custom" (its rate is set elsewhere).
        if (value == brCustom || BaudRateToText(value) != text.trimmed()) {
            error = QStringLiteral("--rate: %1 is not a rate the settings dialog offers (%2)")
                        .arg(Quoted(text), BaudRateTexts().mid(1).join(QStringLiteral(", ")));
            return parsed;
        }
        o.Rate = value;
    }
    return parsed;
}
