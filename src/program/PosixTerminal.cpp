// SPDX-License-Identifier: GPL-3.0-or-later
#include "Terminal.h"

#include <unistd.h>

bool StandardOutputIsTerminal()
{
    return isatty(STDOUT_FILENO) != 0;
}

bool StandardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}
