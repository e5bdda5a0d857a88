// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a test executable inside a QCoreApplication: timers and the port's main-thread
// synchronisation work, and nothing of a GUI is needed or linked.

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The developer's own list of network ports (~/.config/sentrax-configurator/ports) stays
    // out of every port list of the tests, and out of the programs they start.
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir.path()));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
