// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActiveForm.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>

TActiveFormWatch::TActiveFormWatch(QWidget& form, std::function<void()> onActivate)
    : QObject(&form)
    , form_(form)
    , onActivate_(std::move(onActivate))
{
    // Activation of any of the program's windows decides what the active form is.
    QCoreApplication::instance()->installEventFilter(this);
}

TActiveFormWatch::~TActiveFormWatch()
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeEventFilter(this);
}

bool TActiveFormWatch::IsForm(const QWidget& window)
{
    const Qt::WindowType type = window.windowType();
    return (type == Qt::Window || type == Qt::Dialog) && !qobject_cast<const QMessageBox*>(&window);
}

bool TActiveFormWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::WindowActivate || !watched->isWidgetType())
        return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow() || !IsForm(*window) || activeForm_ == window)
        return false;
    activeForm_ = window;
    if (window == &form_)
        onActivate_();
    return false;
}
