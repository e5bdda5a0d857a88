// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"
#include "LocoNet.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The LocoNet simulator (interface, command station and feedback module on a pseudo-terminal),
// started as a program of its own for one test or benchmark, with its log of every byte.
class TSimulator {
public:
    // The options are the simulator's own (see loconet-sim --help). Its terminal appears as
    // `port`, by default a path of its own; the constructor returns once it is there.
    explicit TSimulator(std::vector<std::string> options, QString port = {});
    ~TSimulator();

    struct TLoggedByte {
        double At; // seconds since the simulator started
        std::uint8_t Byte;
    };
    // Every byte the simulator saw from the configurator ("rx") or sent it ("tx"), including all
    // the configurator has written by now (the simulator is asked to read it first).
    std::vector<TLoggedByte> Bytes(const char* direction) const;
    // The messages the configurator sent, framed by the bus rules.
    std::vector<LocoNet::TMessage> Received() const;

    QTemporaryDir Dir;
    QString Port;
    QString Log;

private:
    void Sync() const;

    std::unique_ptr<TChildProcess> process_;
};
