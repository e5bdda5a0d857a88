#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The serial devices of this machine, in the form OpenPort takes them.
struct TPortInfo {
    QString Name;        // a /dev path
    QString Description; // "manufacturer product" of a USB device, else empty
};

// The extra ports the environment names: SENTRAX_EXTRA_PORTS, paths separated by ":". This is
// how a simulator or a virtual port made with socat is offered beside the real devices.
QStringList ExtraPortsFromEnvironment();

// The serial devices the kernel knows under sysClassTty (entries with a device behind them;
// ttyS entries only with a UART), as /dev paths, plus every path in extraPorts, sorted in text
// order ignoring case (so /dev/ttyUSB10 comes before /dev/ttyUSB2). A directory that cannot be
// read raises EComPort reason 23 with the errno.
// By default: this machine's devices, and the extra ports the environment names.
std::vector<TPortInfo> ListPortNames(const QString& sysClassTty = QStringLiteral("/sys/class/tty"),
                                     const QStringList& extraPorts = ExtraPortsFromEnvironment());
