// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Application.h"
#include "CPortCtl.h"
#include "ModalDriver.h"
#include "Pty.h"
#include "UnitSentrax.h"

#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

// The configurator window as the program builds it, on the offscreen platform, with the error
// box recording instead of showing.
class WindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Waits (processing events) until the condition holds or the time is up.
    bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads what the port sent while the window goes on processing events (the window answers
    // received messages only then).
    QByteArray ReadProcessing(TPty& pty, int count, std::chrono::milliseconds timeout);
    // Makes the window active again, as when focus comes back to it.
    void Activate();

    // Opens the port as a user does: "Settings", the pseudo-terminal's path in the port list, OK.
    void OpenThroughSettings(TPty& pty, const QString& baud = QStringLiteral("19200"));
    void OpenThroughSettings(const QString& port, const QString& baud = QStringLiteral("19200"));

    void Click(QAbstractButton* button);
    // Radio buttons take a click on their indicator, not on their caption.
    void Select(QRadioButton* button);
    void ClickArrow(TUpDown* spinner, bool up, int times = 1);
    void Type(QLineEdit* field, const QString& text);

    // Wire bytes of messages, for comparison with what the pseudo-terminal saw.
    static QByteArray Wire(std::initializer_list<QByteArray> messages);

    std::unique_ptr<TApplication> App;
    TfrmSentrax* Form = nullptr;
    QStringList Errors;
    QStringList ErrorTitles;
};
