// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

// Runs a form's activation handler when the form becomes the program's active form: at its first
// display, and each time activation comes back to it from another form of the program (a dialog,
// say). A message box is no form, so closing one leaves the active form as it was; and
// activation that goes to another program's window and comes back changes nothing either.
// Handling every activation instead would run the handler again each time an error box closes,
// and a handler that raises would bring its box back without end.
class TActiveFormWatch final : public QObject {
public:
    TActiveFormWatch(QWidget& form, std::function<void()> onActivate);
    ~TActiveFormWatch() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static bool IsForm(const QWidget& window);

    QWidget& form_;
    std::function<void()> onActivate_;
    QPointer<QWidget> activeForm_; // the program's form that was activated last
};
