// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PortNames.h"

// The serial devices the kernel lists under sysClassTty (entries with a device behind them;
// ttyS entries only with a UART), as /dev paths with the USB maker and product where known. A
// directory that cannot be read raises EComPort reason 23 with the errno.
std::vector<TPortInfo> ListSysfsPorts(const QString& sysClassTty);
