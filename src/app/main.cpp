// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"
#include "StandardStreams.h"
#include "Utf8Locale.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr char kUsage[] = R"(Usage: sentrax-configurator [--help | --version]

Programs a Sentrax S88 feedback module over a serial LocoNet interface, in a window: press
Settings and choose the interface's port, pick the module's version, and follow the
instructions on the right. The window shows the LocoNet traffic it sees.

It needs a graphical desktop. Without one (over SSH, say), sentrax-program does the same
programming pass from a terminal.

  --help, -h   show this text
  --version    show the program's version

Exit status: 0 closed; 1 it could not show its window; 128 + the signal's number when stopped
by one (the message being sent goes out whole, then the port is closed).
)";

// Writes the text to standard output; the exit code: 0, or 1 when it could not be written.
int Print(const char* text)
{
    if (std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0)
        return 0;
    std::fprintf(stderr, "sentrax-configurator: cannot write the output: %s (code %d)\n", std::strerror(errno), errno);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!OpenClosedStandardStreams())
        return 1;
    UseUtf8CharacterType();
    // A reader that went away is a failed write, never the end of the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Answered without a display: they must work where the window cannot.
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h")
            return Print(kUsage);
        if (argument == "--version")
            return Print("sentrax-configurator " SENTRAX_VERSION "\n");
    }
    return RunConfigurator(argc, argv);
}
