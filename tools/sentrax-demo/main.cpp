// SPDX-License-Identifier: GPL-3.0-or-later
// sentrax-demo: starts the configurator's window and goes through a whole programming pass as a
// user would (Settings, the port, OK, version 1.1, first contact 17, Current Monitor On, 16
// contacts, Range), waits for the module's reports, takes a screenshot, and presses Close.
//
//   sentrax-demo --port PATH [--screenshot FILE] [--pause MS] [--step-timeout MS] [--step-shots DIR]
//
// A step the window is not ready for within --step-timeout (30 s) ends the demo: it says which
// step, saves the window (and an open dialog beside it, FILE-dialog.png) and exits with code 1.
// --step-shots saves the window after every step, for reviewing the look of each state.

#include "Application.h"
#include "CPortCtl.h"
#include "CPortSetup.h"
#include "GnuGettext.h"
#include "UnitSentrax.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TStep {
    const char* What;
    std::function<bool()> Try; // true once done; false while the window is not ready for it
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

// The last line of defence for when the window's thread stops handling events (a call that
// blocks): then the driver's own timer never fires again, so this thread ends the process once
// the current deadline has passed. It cannot take screenshots; the window's thread gives up
// (with screenshots) well before the deadline whenever it still runs.
class TWatchdog {
public:
    TWatchdog()
        : thread_([this] { Watch(); })
    {
    }
    ~TWatchdog()
    {
        {
            const std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_one();
        thread_.join();
    }
    void Arm(const std::string& what, std::chrono::milliseconds within)
    {
        {
            const std::lock_guard lock(mutex_);
            what_ = what;
            deadline_ = std::chrono::steady_clock::now() + within;
        }
        changed_.notify_one();
    }

private:
    void Watch()
    {
        std::unique_lock lock(mutex_);
        while (!stopped_) {
            if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && !stopped_ &&
                std::chrono::steady_clock::now() >= deadline_) {
                std::fprintf(stderr, "demo: gave up at \"%s\": the window stopped responding (no screenshot)\n",
                             what_.c_str());
                std::fflush(stderr);
                std::_Exit(1);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopped_ = false;
    std::string what_ = "start-up";
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    std::thread thread_;
};

} // namespace

int main(int argc, char** argv)
{
    QString port;
    QString screenshot = QStringLiteral("sentrax-demo.png");
    int pause = 700;
    int stepTimeout = 30000;
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
        else if (option == u"--step-timeout")
            stepTimeout = value.toInt();
        else if (option == u"--step-shots")
            stepShots = value;
    }
    if (port.isEmpty()) {
        std::fprintf(stderr, "usage: sentrax-demo --port PATH [--screenshot FILE] [--pause MS] [--step-timeout MS]"
                             " [--step-shots DIR]\n");
        return 2;
    }

    // Bounds start-up too, up to the first step.
    TWatchdog watchdog;
    TQtApplication platform(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    InitializeModules();
    bool gaveUp = false;
    {
        TApplication application;
        QString lastError;
        application.ErrorBox = [&lastError](const QString& title, const QString& text) {
            // Printed instead of shown: a modal box would stop the pass until someone closes it.
            std::printf("error box \"%s\": %s\n", qPrintable(title), qPrintable(text));
            std::fflush(stdout);
            lastError = text;
        };
        TfrmSentrax* form = application.CreateMainForm();

        const std::vector<TStep> steps{
            {"press Settings", [&] { ClickLater(form->Button1); return true; }},
            {"choose the port and press OK", [&] {
                 auto* dialog = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
                 if (!dialog || !dialog->isVisible() || dialog->Combo(1)->findText(port) < 0)
                     return false;
                 Choose(dialog->Combo(1), port);
                 Choose(dialog->Combo(2), QStringLiteral("19200"));
                 ClickLater(dialog->findChild<QAbstractButton*>(QStringLiteral("Button1")));
                 return true;
             }},
            {"choose Version 1.1", [&] {
                 if (!form->ComPort1->Connected())
                     return false;
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
                 return !form->GroupBox3->isVisible() && !form->Edit3->text().isEmpty();
             }},
            {"take the screenshot", [&] { return form->grab().save(screenshot); }},
            {"press Close", [&] { ClickLater(form->Button5); return true; }},
            // Done only by the program ending; bounded like every other step.
            {"the program ends after Close", [] { return false; }},
        };

        // Saves the window as it is, and the dialog that is open over it beside it.
        const auto saveScreenshots = [&] {
            form->grab().save(screenshot);
            std::printf("demo: the window as it was is in %s\n", qPrintable(screenshot));
            if (QWidget* dialog = QApplication::activeModalWidget(); dialog && dialog != form) {
                const QFileInfo file(screenshot);
                const QString path = file.path() + u'/' + file.completeBaseName() + QStringLiteral("-dialog.png");
                dialog->grab().save(path);
                std::printf("demo: the dialog that was open is in %s\n", qPrintable(path));
            }
        };

        std::size_t next = 0;
        QElapsedTimer sinceLast;
        sinceLast.start();
        // The watchdog's deadline lies beyond the driver's own bound for each step.
        const auto armWatchdog = [&] {
            watchdog.Arm(steps[next].What, std::chrono::milliseconds(pause + stepTimeout + 10000));
        };
        armWatchdog();
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (gaveUp || sinceLast.elapsed() < pause)
                return;
            if (steps[next].Try()) {
                std::printf("demo: %s\n", steps[next].What);
                if (!stepShots.isEmpty()) {
                    form->grab().save(QStringLiteral("%1/step%2.png").arg(stepShots).arg(next + 1));
                    if (QWidget* dialog = QApplication::activeModalWidget())
                        dialog->grab().save(QStringLiteral("%1/step%2-dialog.png").arg(stepShots).arg(next + 1));
                }
                std::fflush(stdout);
                ++next;
                sinceLast.restart();
                armWatchdog();
            } else if (sinceLast.elapsed() >= pause + stepTimeout) {
                gaveUp = true;
                std::printf("demo: gave up at \"%s\": the window was not ready for it within %g s\n", steps[next].What,
                            stepTimeout / 1000.0);
                if (!lastError.isEmpty())
                    std::printf("demo: the last error box said: %s\n", qPrintable(lastError));
                saveScreenshots();
                std::fflush(stdout);
                // Ends every event loop, a dialog's too.
                QCoreApplication::exit(1);
            }
        });
        driver.start(50);

        application.Run();
        watchdog.Arm("ending the program", std::chrono::seconds(10));
        driver.stop();
        if (!gaveUp && next + 1 != steps.size()) {
            gaveUp = true;
            std::printf("demo: the program ended before \"%s\"\n", steps[next].What);
            saveScreenshots();
        }
        std::printf("demo: the monitor pane shows %d lines; last contact %s, level %s; screenshot %s\n",
                    int(form->Memo1->Lines().size()), qPrintable(form->Edit3->text()), qPrintable(form->Edit4->text()),
                    qPrintable(screenshot));
        delete frmSentrax;
    }
    FinalizeModules();
    return gaveUp ? 1 : 0;
}
