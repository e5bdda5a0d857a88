// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"

#include "CPortModule.h"
#include "CPortSetup.h"
#include "Exception.h"
#include "GnuGettext.h"
#include "NetComDevice.h"
#include "StopSignals.h"
#include "UnitSentrax.h"

#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <QMessageBox>
#include <QMetaObject>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

TApplication* Application = nullptr;

namespace {

// Qt ends the program with an abort when its windowing platform cannot start: no display (over
// SSH on the small computer beside the layout), or one that cannot be reached. While the Qt
// application is being made, its messages are held back; if it cannot be made, the program says
// why in one line, with the way on, and ends with code 1. Otherwise the held messages go out.
class TDisplayCheck {
public:
    TDisplayCheck() { previous_ = qInstallMessageHandler(&Hold); }
    ~TDisplayCheck()
    {
        qInstallMessageHandler(previous_);
        for (const QString& message : std::exchange(held_, {}))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    }
    TDisplayCheck(const TDisplayCheck&) = delete;
    TDisplayCheck& operator=(const TDisplayCheck&) = delete;

private:
    static void Hold(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type != QtFatalMsg) {
            held_ << qFormatLogMessage(type, context, message);
            return;
        }
        std::fputs("sentrax-configurator: cannot open its window: no display could be reached (it needs a "
                   "graphical desktop; sentrax-program programs a module from a terminal)\n",
                   stderr);
        std::_Exit(1);
    }

    static inline QtMessageHandler previous_ = nullptr;
    static inline QStringList held_;
};

} // namespace

// Outside any namespace: the resource initialiser is a global function.
static void InitApplicationResources()
{
    Q_INIT_RESOURCE(app); // the icon lives in this static library
}

QString TApplication::TitleOf(const QString& programFile)
{
    QString name = QFileInfo(programFile).fileName();
    name.truncate(name.indexOf(u'.') >= 0 ? name.indexOf(u'.') : name.size());
    return name.isEmpty() ? name : name.left(1) + name.mid(1).toLower();
}

TApplication::TApplication()
    : ErrorBox([](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, frmSentrax);
        box.exec();
    })
    , title_(TitleOf(QCoreApplication::applicationFilePath()))
{
    Application = this;
    SetExceptionHandler([this](std::exception_ptr error) { ShowException(error); });
}

TApplication::~TApplication()
{
    SetExceptionHandler({});
    if (Application == this)
        Application = nullptr;
}

QString TApplication::ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void TApplication::ShowException(std::exception_ptr error)
{
    const QString text = ErrorBoxText(ExceptionMessage(error));
    if (showing_) {
        if (waiting_.isEmpty() || waiting_.back() != text)
            waiting_ << text;
        return;
    }
    showing_ = true;
    QString shown = text;
    ErrorBox(title_, shown);
    while (!waiting_.isEmpty()) {
        const QString next = waiting_.takeFirst();
        if (next == shown)
            continue;
        shown = next;
        ErrorBox(title_, shown);
    }
    showing_ = false;
}

TfrmSentrax* TApplication::CreateMainForm()
{
    mainForm_ = new TfrmSentrax();
    return mainForm_;
}

int TApplication::Run()
{
    if (mainForm_) {
        mainForm_->show();
        mainForm_->activateWindow();
    }
    QApplication::exec();
    return 0;
}

bool TQtApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

void InitializeModules()
{
    InitializeGnuGettext();
    InitializeCPort();
    InitializeCPortSetup();
    InitializeUnitSentrax();
}

void FinalizeModules()
{
    FinalizeUnitSentrax();
    FinalizeCPortSetup();
    FinalizeCPort();
    FinalizeGnuGettext();
}

int RunConfigurator(int argc, char** argv)
{
    std::optional<TDisplayCheck> displayCheck(std::in_place);
    TQtApplication platform(argc, argv);
    displayCheck.reset();
    // A fixed style keeps the window's look (and its tests) the same on every desktop; this one
    // fits the window's classic metrics.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    InitApplicationResources();
    // Naming the format spares the probe through every image plugin Qt has.
    QApplication::setWindowIcon(QIcon(QPixmap(QStringLiteral(":/app/Sentrax.xpm"), "XPM")));
    QApplication::setQuitOnLastWindowClosed(false); // the main window's close ends the program
    try {
        InitializeModules();
    } catch (...) {
        // Nothing is on screen yet; the message goes to standard error.
        HandleException(std::current_exception());
        return 1;
    }
    // Asked to stop (Ctrl-C, the session ending, the terminal closing), the program ends as by
    // the window's close box: what is being sent completes, the port closes without the power-off
    // message, and the tty is free for the next program.
    TStopSignals stopSignals;
    QObject::connect(&stopSignals, &TStopSignals::Stop, [] {
        if (frmSentrax)
            frmSentrax->close();
        else
            QCoreApplication::quit();
    });
    // A network port that takes its time to connect holds the event loop up: the signal ends
    // that wait at once, and the window then closes as above.
    SetOpenCancelHandle(stopSignals.Handle());
    const struct TNoCancel {
        ~TNoCancel() { SetOpenCancelHandle(-1); }
    } noCancel;
    int code = 0;
    {
        TApplication application;
        Guarded([&] {
            application.CreateMainForm();
            // A catalog that could not be used is reported once the window is on screen.
            for (const QString& error : TakeCatalogErrors()) {
                QMetaObject::invokeMethod(
                    &platform, [&application, error] { application.ShowException(std::make_exception_ptr(Exception(error))); },
                    Qt::QueuedConnection);
            }
            code = application.Run();
        });
        delete frmSentrax; // closes an open port: its monitor ends before the modules finish
    }
    FinalizeModules();
    // Stopped by a signal: the usual code for that, as a shell reports it.
    return stopSignals.Received() ? 128 + stopSignals.Received() : code;
}
