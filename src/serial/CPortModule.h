// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The serial-port module's start-up (after the translation module's: its texts are translated
// then) and shutdown (after every port has closed).
void InitializeCPort();
void FinalizeCPort();
