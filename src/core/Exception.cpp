// SPDX-License-Identifier: GPL-3.0-or-later
#include "Exception.h"

#include <cstdio>

Exception::Exception(QString message)
    : message_(std::move(message))
    , utf8_(message_.toUtf8())
{
}

EAbort::EAbort()
    : Exception(QStringLiteral("Operation aborted"))
{
}

QString ExceptionMessage(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

namespace {
TExceptionHandler& InstalledHandler()
{
    static TExceptionHandler handler;
    return handler;
}
}

TExceptionHandler SetExceptionHandler(TExceptionHandler handler)
{
    return std::exchange(InstalledHandler(), std::move(handler));
}

void HandleException(std::exception_ptr error) noexcept
{
    try {
        try {
            std::rethrow_exception(error);
        } catch (const EAbort&) {
            return;
        } catch (...) {
        }
        if (const auto& handler = InstalledHandler()) {
            handler(error);
            return;
        }
        std::fprintf(stderr, "%s\n", ExceptionMessage(error).toLocal8Bit().constData());
    } catch (...) {
        // The reporter itself failed; there is nobody left to tell.
    }
}
