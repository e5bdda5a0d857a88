// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The serial devices of this machine, in the form OpenPort takes them.
struct TPortInfo {
    QString Name;        // as OpenPort takes it: a /dev path, or an extra port as named
    QString Description; // "manufacturer product" of a USB device, else empty
};

// The extra ports the user names: SENTRAX_EXTRA_PORTS, names separated by ":" (a relative path
// is relative to the working directory; the ":" inside a network port's "SCHEME://HOST:PORT"
// does not separate), then the lines of $XDG_CONFIG_HOME/sentrax-configurator/ports
// (~/.config/... by default; one name a line, "#" starts a comment line). This is how a
// simulator, a virtual port made with socat, or a network port is offered beside the devices.
QStringList ExtraPortsFromEnvironment();

// The machine's serial devices and the extra ports, sorted in text order ignoring case (so
// /dev/ttyUSB10 comes before /dev/ttyUSB2). Names with control characters are left out. A listing of the machine's devices that cannot be
// read raises EComPort reason 23 with the system's code.
std::vector<TPortInfo> ListPortNames(const QStringList& extraPorts = ExtraPortsFromEnvironment());

// The same, for a given listing of devices.
std::vector<TPortInfo> MergePortNames(std::vector<TPortInfo> devices, const QStringList& extraPorts);

// The machine's serial devices, as the platform lists them (its source is chosen by the build).
std::vector<TPortInfo> ListMachinePorts();
