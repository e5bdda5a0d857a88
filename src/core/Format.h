// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Replaces each %s and %d of the pattern, in order, by the next argument, and %% by a per cent
// sign. Patterns may come from translation catalogs, so they are never trusted: a placeholder
// without an argument becomes empty and surplus arguments are ignored.
QString FormatText(const QString& pattern, const QStringList& args);
