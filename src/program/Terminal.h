// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether standard output (or standard error) is a terminal, where a progress line can be
// redrawn in place. (Its source is the platform's, chosen by the build.)
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();
