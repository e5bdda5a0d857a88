// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>

class TfrmSentrax;

// The program's application object: its title, the error box for whatever escapes a handler,
// and the life cycle of the one window.
class TApplication {
public:
    TApplication();
    ~TApplication();

    // The program file's name without directory and without everything from its first full
    // stop, every letter after the first in lower case.
    QString Title() const { return title_; }
    static QString TitleOf(const QString& programFile);

    // The text the error box shows: the message, with a full stop appended when its last
    // character comes after "." in the character table.
    static QString ErrorBoxText(const QString& message);
    // Shows an error in the modal error box. One box at a time: errors that come while a box is
    // open wait their turn, and a repeat of the message just shown is not shown again.
    void ShowException(std::exception_ptr error);
    // How a box is shown; tests replace it.
    std::function<void(const QString& title, const QString& text)> ErrorBox;

    // Creates the main window (the first window created is the main one).
    TfrmSentrax* CreateMainForm();
    // Shows the main window and runs the event loop until it closes.
    int Run();

private:
    QString title_;
    QStringList waiting_;
    bool showing_ = false;
    TfrmSentrax* mainForm_ = nullptr;
};

extern TApplication* Application;

// The Qt application, with a last line of defence: an exception that escapes an event handler
// despite its guard goes to the error box instead of unwinding through Qt.
class TQtApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

// Module start-up in dependency order (translation, serial port, LocoNet, window), and shutdown
// in reverse order.
void InitializeModules();
void FinalizeModules();

// The whole program: start-up, the window's event loop, shutdown. Returns the exit code.
int RunConfigurator(int argc, char** argv);
