// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortDevice.h"

#include "NetComDevice.h"
#include "NetPortName.h"

#include <cerrno>

std::unique_ptr<TComDevice> CreatePlatformComDevice()
{
    return std::make_unique<TPortDevice>();
}

TComDevice& TPortDevice::Use()
{
    if (!device_)
        device_ = CreateSerialComDevice();
    return *device_;
}

int TPortDevice::Open(const QString& portName)
{
    if (IsOpen())
        return EBUSY;
    // Before the serial device's own rule (a name with "/" is a path): "tcp://host:2000" has one.
    const bool network = IsNetworkPortName(portName);
    if (!device_ || network != network_) {
        device_ = network ? std::unique_ptr<TComDevice>(std::make_unique<TNetComDevice>()) : CreateSerialComDevice();
        network_ = network;
    }
    return device_->Open(portName);
}

void TPortDevice::Close()
{
    if (device_)
        device_->Close();
}
