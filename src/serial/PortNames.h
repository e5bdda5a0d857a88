#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The serial devices of this machine, in the form OpenPort takes them.
struct TPortInfo {
    QString Name;        // as OpenPort takes it: a /dev path, or an extra port as named
    QString Description; // "manufacturer product" of a USB device, else empty
};

// The extra ports the environment names: SENTRAX_EXTRA_PORTS, paths separated by ":" (a relative
// path is relative to the working directory). This is how a simulator or a virtual port made
// with socat is offered beside the real devices.
QStringList ExtraPortsFromEnvironment();

// The machine's serial devices and the extra ports, sorted in text order ignoring case (so
// /dev/ttyUSB10 comes before /dev/ttyUSB2). Names with control characters are left out. A listing of the machine's devices that cannot be
// read raises EComPort reason 23 with the system's code.
std::vector<TPortInfo> ListPortNames(const QStringList& extraPorts = ExtraPortsFromEnvironment());

// The same, for a given listing of devices.
std::vector<TPortInfo> MergePortNames(std::vector<TPortInfo> devices, const QStringList& extraPorts);

// The machine's serial devices, as the platform lists them (its source is chosen by the build).
std::vector<TPortInfo> ListMachinePorts();
