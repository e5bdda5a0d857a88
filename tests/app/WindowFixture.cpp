// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFixture.h"

#include "TestHelpers.h"

#include "CPortSetup.h"
#include "IntLocoNet.h"
#include "LocoNet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

#include <thread>

void WindowTest::SetUp()
{
    InitializeUnitSentrax();
    App = std::make_unique<TApplication>();
    App->ErrorBox = [this](const QString& title, const QString& text) {
        ErrorTitles << title;
        Errors << text;
    };
    Form = App->CreateMainForm();
    Form->show();
    Activate();
}

void WindowTest::TearDown()
{
    delete frmSentrax;
    App.reset();
    FinalizeUnitSentrax();
    qunsetenv("SENTRAX_EXTRA_PORTS");
}

bool WindowTest::WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    return ProcessEventsUntil(condition, timeout);
}

QByteArray WindowTest::ReadProcessing(TPty& pty, int count, std::chrono::milliseconds timeout)
{
    QByteArray read;
    WaitFor([&] {
        read += pty.Read(count - int(read.size()), std::chrono::milliseconds(1));
        return read.size() >= count;
    }, timeout);
    return read;
}

void WindowTest::Activate()
{
    // Focus goes to another window of the program and comes back.
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.show();
    other.activateWindow();
    WaitFor([&] { return other.isActiveWindow(); }, std::chrono::seconds(2));
    other.hide();
    Form->activateWindow();
    WaitFor([this] { return Form->isActiveWindow(); }, std::chrono::seconds(2));
    QCoreApplication::processEvents();
}

void WindowTest::OpenThroughSettings(TPty& pty, const QString& baud)
{
    OpenThroughSettings(pty.SlavePath(), baud);
}

void WindowTest::OpenThroughSettings(const QString& port, const QString& baud)
{
    qputenv("SENTRAX_EXTRA_PORTS", port.toLocal8Bit());
    WhenModalShows([port, baud](QWidget* dialog) {
        auto* setup = static_cast<TComSetupFrm*>(dialog);
        ChooseComboItem(setup->Combo(1), port);
        ChooseComboItem(setup->Combo(2), baud);
        ClickButton(dialog, QStringLiteral("OK"));
    });
    Click(Form->Button1);
}

void WindowTest::Click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

void WindowTest::Select(QRadioButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect indicator = button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button);
    QTest::mouseClick(button, Qt::LeftButton, {}, indicator.center());
}

void WindowTest::ClickArrow(TUpDown* spinner, bool up, int times)
{
    const auto arrows = spinner->findChildren<QToolButton*>();
    for (QToolButton* arrow : arrows) {
        if (arrow->arrowType() == (up ? Qt::UpArrow : Qt::DownArrow)) {
            for (int i = 0; i < times; ++i)
                QTest::mouseClick(arrow, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "spinner without arrows";
}

void WindowTest::Type(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else
        QTest::keyClicks(field, text);
}

QByteArray WindowTest::Wire(std::initializer_list<QByteArray> messages)
{
    QByteArray wire;
    for (const QByteArray& m : messages) {
        const LocoNet::TMessage bytes(m.begin(), m.end());
        for (std::uint8_t b : LocoNet::WithChecksum(bytes))
            wire += char(b);
    }
    return wire;
}
