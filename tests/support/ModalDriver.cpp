#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

void WhenModalShows(std::function<void(QWidget*)> action, int timeoutMs)
{
    auto timer = std::make_shared<QTimer>();
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer.get(), &QTimer::timeout, [timer, clock, action, timeoutMs] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
            timer->stop();
            action(modal);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            ADD_FAILURE() << "no modal window showed up";
        }
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
