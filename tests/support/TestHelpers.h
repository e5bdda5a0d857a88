// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CPort.h"
#include "EComPort.h"
#include "ScriptedComDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

// The EComPort a call raises (a test failure when it raises none).
template <class F>
EComPort Raised(F&& f)
{
    try {
        f();
    } catch (const EComPort& e) {
        return e;
    }
    ADD_FAILURE() << "no EComPort raised";
    return EComPort(0);
}

// A port on a scripted device, with the script the test sets.
struct TScriptedPort {
    std::unique_ptr<TComPort> Port;
    std::shared_ptr<TDeviceScript> Script;
    TScriptedComDevice* Device;
};
TScriptedPort MakeScriptedPort(TComEvents events = {});

// The configurator's port as its window stores it: 19200 baud, hardware flow control, no queue
// sizes asked for.
void StoreConfiguratorSettings(TComPort& port);

// Sets SENTRAX_EXTRA_PORTS for the lifetime of the object.
struct TExtraPorts {
    explicit TExtraPorts(const QString& value) { qputenv("SENTRAX_EXTRA_PORTS", value.toLocal8Bit()); }
    ~TExtraPorts() { qunsetenv("SENTRAX_EXTRA_PORTS"); }
};

// Processes events (waiting a millisecond between looks, not spinning) until the condition
// holds or the time is up; whether it holds.
bool ProcessEventsUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
