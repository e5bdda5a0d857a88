// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The controls that follow a port: a drop-down list bound to one of its settings, and a signal LED.
#include "ComComboBox.h"
#include "ComLed.h"
