// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <thread>

TScriptedPort MakeScriptedPort(TComEvents events)
{
    auto device = std::make_unique<TScriptedComDevice>();
    TScriptedComDevice* raw = device.get();
    auto script = device->Script();
    auto port = std::make_unique<TComPort>(nullptr, std::move(device));
    port->SetEvents(events);
    return {std::move(port), script, raw};
}

void StoreConfiguratorSettings(TComPort& port)
{
    port.SetBaudRate(br19200);
    port.Buffer().SetInputSize(0);
    port.Buffer().SetOutputSize(0);
    port.FlowControl().SetOutCTSFlow(true);
    port.FlowControl().SetControlRTS(rtsHandshake);
}

bool ProcessEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
