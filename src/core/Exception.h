// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <functional>
#include <utility>

// The general exception type of the program: it carries a message text and nothing else.
class Exception : public std::exception {
public:
    explicit Exception(QString message);

    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// A text that should hold a number does not.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A silent exception: it ends what is running like any other, and is shown to nobody. Raised
// where the failure behind it has been reported already.
class EAbort : public Exception {
public:
    EAbort();
};

// The message of any exception: ours carry a text, others their what().
QString ExceptionMessage(const std::exception_ptr& error);

// Where exceptions that escape a handler go. The application installs its error box here;
// without one they are written to standard error.
// EAbort goes nowhere.
using TExceptionHandler = std::function<void(std::exception_ptr)>;
TExceptionHandler SetExceptionHandler(TExceptionHandler handler);
void HandleException(std::exception_ptr error) noexcept;

// Runs a handler so that nothing it raises unwinds into the caller (Qt's frames are not built for
// exceptions to pass through them); what it raises goes to HandleException.
template <class Handler>
void Guarded(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        HandleException(std::current_exception());
    }
}
