// sentrax-demo: starts the configurator's window and goes through a whole programming pass as a
// user would (Settings, the port, OK, version 1.1, first contact 17, Current Monitor On, 16
// contacts, Range), waits for the module's reports, takes a screenshot, and presses Close.
//
//   sentrax-demo --port PATH [--screenshot FILE] [--pause MS] [--step-shots DIR]
//
// --step-shots saves the window after every step, for reviewing the look of each state.

#include "Application.h"
#include "CPortCtl.h"
#include "CPortSetup.h"
#include "GnuGettext.h"
#include "UnitSentrax.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct TStep {
    const char* What;
    std::function<bool()> Try; // true once done
};

void ClickLater(QAbstractButton* button, QPoint at = {})
{
    // Posted, so that a dialog the click opens runs its loop outside this step.
    QTimer::singleShot(0, button, [button, at] { QTest::mouseClick(button, Qt::LeftButton, {}, at); });
}

QPoint RadioIndicator(QRadioButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    return button->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, button).center();
}

void Choose(QComboBox* combo, const QString& text)
{
    combo->setFocus();
    const int target = combo->findText(text);
    for (int guard = 0; combo->currentIndex() != target && guard < 256; ++guard)
        QTest::keyClick(combo, combo->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
}

void TypeInto(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
}

} // namespace

int main(int argc, char** argv)
{
    QString port;
    QString screenshot = QStringLiteral("sentrax-demo.png");
    int pause = 700;
    QString stepShots;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString option = QString::fromLocal8Bit(argv[i]);
        const QString value = QString::fromLocal8Bit(argv[i + 1]);
        if (option == u"--port")
            port = value;
        else if (option == u"--screenshot")
            screenshot = value;
        else if (option == u"--pause")
            pause = value.toInt();
        else if (option == u"--step-shots")
            stepShots = value;
    }
    if (port.isEmpty()) {
        std::fprintf(stderr, "usage: sentrax-demo --port PATH [--screenshot FILE] [--pause MS]\n");
        return 2;
    }

    TQtApplication platform(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    InitializeModules();
    int result = 1;
    {
        TApplication application;
        application.ErrorBox = [](const QString& title, const QString& text) {
            std::printf("error box \"%s\": %s\n", qPrintable(title), qPrintable(text));
        };
        TfrmSentrax* form = application.CreateMainForm();

        QElapsedTimer waited;
        const auto waitFor = [&](const std::function<bool()>& condition, int timeoutMs) {
            if (!waited.isValid())
                waited.start();
            if (condition() || waited.elapsed() > timeoutMs) {
                waited.invalidate();
                return true;
            }
            return false;
        };
        const std::vector<TStep> steps{
            {"press Settings", [&] { ClickLater(form->Button1); return true; }},
            {"choose the port and press OK", [&] {
                 auto* dialog = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
                 if (!dialog || !dialog->isVisible())
                     return false;
                 Choose(dialog->Combo(1), port);
                 Choose(dialog->Combo(2), QStringLiteral("19200"));
                 ClickLater(dialog->findChild<QAbstractButton*>(QStringLiteral("Button1")));
                 return true;
             }},
            {"choose Version 1.1", [&] {
                 if (!waitFor([&] { return form->ComPort1->Connected(); }, 3000))
                     return false;
                 if (form->ComPort1->Connected())
                     ClickLater(form->RadioButton2, RadioIndicator(form->RadioButton2));
                 return true;
             }},
            {"first contact 17, Current Monitor On", [&] {
                 // The version's start messages are out once its instructions show.
                 if (!form->GroupBox2->isEnabled() || form->Memo2->toPlainText().isEmpty())
                     return false;
                 TypeInto(form->Edit1, QStringLiteral("17"));
                 ClickLater(form->Button2);
                 return true;
             }},
            {"16 contacts, Range", [&] {
                 if (!form->GroupBox3->isEnabled())
                     return false;
                 TypeInto(form->Edit2, QStringLiteral("16"));
                 ClickLater(form->Button4);
                 return true;
             }},
            {"wait for the module's reports", [&] {
                 return waitFor([&] { return !form->GroupBox3->isVisible() && !form->Edit3->text().isEmpty(); }, 5000);
             }},
            {"take the screenshot", [&] { return form->grab().save(screenshot); }},
            {"press Close", [&] { ClickLater(form->Button5); return true; }},
        };

        std::size_t next = 0;
        QElapsedTimer sinceLast;
        sinceLast.start();
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (next >= steps.size() || sinceLast.elapsed() < pause)
                return;
            if (steps[next].Try()) {
                std::printf("demo: %s\n", steps[next].What);
                if (!stepShots.isEmpty()) {
                    form->grab().save(QStringLiteral("%1/step%2.png").arg(stepShots).arg(next + 1));
                    if (QWidget* dialog = QApplication::activeModalWidget())
                        dialog->grab().save(QStringLiteral("%1/step%2-dialog.png").arg(stepShots).arg(next + 1));
                }
                std::fflush(stdout);
                // Without an open port there is nothing to program: straight to Close.
                const bool portFailed = next == 2 && !form->ComPort1->Connected();
                next = portFailed ? steps.size() - 1 : next + 1;
                sinceLast.restart();
            }
        });
        driver.start(50);

        result = application.Run();
        std::printf("demo: the monitor pane shows %d lines; last contact %s, level %s; screenshot %s\n",
                    int(form->Memo1->Lines().size()), qPrintable(form->Edit3->text()), qPrintable(form->Edit4->text()),
                    qPrintable(screenshot));
        delete frmSentrax;
    }
    FinalizeModules();
    return result;
}
