// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a test executable inside a Qt application on the offscreen platform, so that widgets,
// timers and the port's main-thread synchronisation work without a display. A port's
// ShowSettingsDialog runs the settings dialog, as in the program.

#include "CPortSetup.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QTemporaryDir> runtimeDir;
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        runtimeDir = std::make_unique<QTemporaryDir>();
        QFile::setPermissions(runtimeDir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir->path()));
    }
    // The developer's own list of network ports (~/.config/sentrax-configurator/ports) stays
    // out of every port list of the tests, and out of the programs they start.
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir.path()));
    QApplication app(argc, argv);
    InitializeCPortSetup();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
