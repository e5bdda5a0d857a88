// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <vector>

// A pseudo-terminal: the port under test opens the slave path, the test holds the master and
// sees there exactly the bytes the port sent.
class TPty {
public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const QString& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }

    void Write(const QByteArray& bytes);
    // Reads until `count` bytes have come or the time is up.
    QByteArray Read(int count, std::chrono::milliseconds timeout);
    // Everything that arrives until nothing has come for `quiet`.
    QByteArray ReadUntilQuiet(std::chrono::milliseconds quiet);

    struct TTimedByte {
        std::uint8_t Byte;
        std::chrono::steady_clock::time_point At;
    };
    std::vector<TTimedByte> ReadTimed(int count, std::chrono::milliseconds timeout);

    // XOFF (true) or XON (false) from the other end, as a flow-controlled interface sends them.
    // Returns once an XOFF has taken effect on a port that honours it (it needs root when the
    // port holds the terminal exclusively).
    void HoldOutput(bool hold);

    // The cable pulled out: the slave side hangs up.
    void CloseMaster();

    // The slave's line settings as the port configured them (read through the master).
    struct TSettings {
        std::uint32_t OutputRate = 0;
        bool HardwareFlow = false;
        bool XonXoffOut = false;
        bool XonXoffIn = false;
        char XonChar = 0;
        char XoffChar = 0;
        bool Raw = false;
    };
    TSettings Settings() const;

private:
    int master_ = -1;
    QString slavePath_;
};
