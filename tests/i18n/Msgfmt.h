// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

// Compiles a .po file into a .mo file with GNU msgfmt, keeping the encoding the .po declares:
// msgfmt from gettext 0.22 on converts every catalog to UTF-8 unless told not to (an option
// older ones do not know), and the tests need catalogs in other encodings, as older tools and
// other producers write them.
inline void Msgfmt(const QString& source, const QString& target, const QStringList& options = {})
{
    static const bool converts = [] {
        QProcess help;
        help.start(QStringLiteral("msgfmt"), {QStringLiteral("--help")});
        return help.waitForFinished(30000) && help.readAllStandardOutput().contains("--no-convert");
    }();
    QStringList arguments = options;
    if (converts)
        arguments << QStringLiteral("--no-convert");
    QProcess msgfmt;
    msgfmt.start(QStringLiteral("msgfmt"), arguments + QStringList{QStringLiteral("-o"), target, source});
    EXPECT_TRUE(msgfmt.waitForFinished(30000));
    EXPECT_EQ(msgfmt.exitCode(), 0) << msgfmt.readAllStandardError().toStdString();
}
