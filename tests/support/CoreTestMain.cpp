// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a test executable inside a QCoreApplication: timers and the port's main-thread
// synchronisation work, and nothing of a GUI is needed or linked.

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
