// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>


void WhenModalShows(std::function<void(QWidget*)> action, int timeoutMs)
{
    // Owned by the application, so that a timer whose dialog never came is freed all the same.
    auto* timer = new QTimer(QCoreApplication::instance());
    QElapsedTimer clock;
    clock.start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, action = std::move(action), timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool shown = modal && modal->isVisible();
        if (!shown && clock.elapsed() <= timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        if (shown)
            action(modal);
        else
            ADD_FAILURE() << "no modal window showed up";
    });
    timer->start();
}

void ClickButton(QWidget* window, const QString& text)
{
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->text().remove(u'&') == text) {
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
}

void ChooseComboItem(QComboBox* combo, const QString& text)
{
    const int target = combo->findText(text);
    ASSERT_GE(target, 0) << text.toStdString();
    combo->setFocus();
    int guard = 0;
    while (combo->currentIndex() != target && guard++ < 256)
        QTest::keyClick(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    ASSERT_EQ(combo->currentIndex(), target);
}
