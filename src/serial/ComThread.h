// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ComTypes.h"

#include <QObject>

#include <memory>
#include <thread>

class TCustomComPort;

// The monitor thread of an open port: it waits for device events and has each batch handled
// as the port's SyncMethod says. Created by OpenPort, destroyed by ClosePort.
class TComThread {
public:
    // Sets the device's event mask from the port's Events and starts the thread.
    explicit TComThread(TCustomComPort& port);
    // Stops the thread and waits until it has ended, serving its pending main-thread requests
    // meanwhile.
    ~TComThread();

    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    struct TShared;

private:
    static void Execute(TCustomComPort* port, std::shared_ptr<TShared> shared);
    static void DeliverEvents(TCustomComPort* port, TShared& shared, TComEvents events);

    std::shared_ptr<TShared> shared_;
    std::thread thread_;
    TCustomComPort& port_;
};

// Joins the monitors that ended after a close from inside their own delivery: those that have
// ended, or (wait = true, at shutdown) all of them.
void ReapComThreads(bool wait);

// The hidden main-thread object that receives one message per event with smWindowSync.
std::unique_ptr<QObject> CreateComHiddenWindow(TCustomComPort& port);
