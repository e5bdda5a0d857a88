// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Port names that stand for a network connection: "lbserver://HOST[:PORT]" (LoconetOverTcp),
// "tcp://HOST:PORT" (a raw TCP serial server) and "rfc2217://HOST:PORT" (Telnet with COM port
// control). An IPv6 host is written in brackets: "tcp://[::1]:2000".
enum class TNetScheme { LbServer, Tcp, Rfc2217 };

struct TNetAddress {
    TNetScheme Scheme = TNetScheme::Tcp;
    QString Host; // without brackets
    int Port = 0;
};

// Whether the name begins with one of the three schemes and "://".
bool IsNetworkPortName(const QString& name);

// The address a network port name gives; nothing when the host is missing, the port is missing
// (only lbserver:// has a default) or not a number from 1 to 65535, or text follows it.
std::optional<TNetAddress> ParseNetworkPortName(const QString& name);

// A list of port names separated by ":", where the ":" inside "SCHEME://HOST:PORT" (and inside
// an IPv6 host's brackets) does not separate. Empty entries are skipped.
QStringList SplitPortList(const QString& list);
