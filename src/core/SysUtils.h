// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ResString.h"

#include <QString>

// "'%s' is not a valid integer value"
extern const TResStringRec SInvalidInteger;

// The whole number a field holds: decimal digits with an optional leading sign, no blanks,
// within the 32-bit range. Anything else raises EConvertError naming the text.
int StrToInt(const QString& text);
