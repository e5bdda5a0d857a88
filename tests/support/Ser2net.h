// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"

#include <QString>

#include <cstdint>
#include <memory>

class TSimulator;

// A port on 127.0.0.1 that nothing listens on at the moment.
int FreeLocalPort();

// Whether Debian's ser2net is installed (tests that need it skip, saying so, when it is not).
bool HaveSer2net();
inline constexpr const char* kNoSer2net = "ser2net is not installed (apt-get install ser2net; scripts/setup.sh does)";

// ser2net in front of the simulator's terminal, on 127.0.0.1:port: its raw accepter, or its
// Telnet accepter with RFC 2217 (rfc2217 = true). Returns once it takes connections.
std::unique_ptr<TChildProcess> StartSer2net(const TSimulator& simulator, int port, bool rfc2217);

// The output rate the simulator's terminal is set to at the moment (0 when it cannot be read).
std::uint32_t TerminalRate(const TSimulator& simulator);
