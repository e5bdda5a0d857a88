// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

enum TClientType { ctNonBlocking, ctBlocking };

// A TCP client component the window carries with its stored settings. Nothing in the workflow
// activates it, so it opens no connection and holds no socket.
class TClientSocket : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    bool Active = false;
    TClientType ClientType = ctNonBlocking;
    int Port = 0;
    QString Host;
};
