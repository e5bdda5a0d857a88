// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedComDevice.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

int TDeviceScript::CallCount(const QString& name)
{
    std::lock_guard lock(Mutex);
    return int(Calls.count(name));
}

TScriptedComDevice::TScriptedComDevice()
    : script_(std::make_shared<TDeviceScript>())
    , wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

TScriptedComDevice::~TScriptedComDevice()
{
    ::close(wake_);
}

void TScriptedComDevice::Wake()
{
    // An event counter that is already set wakes the waiter all the same: the result is of no use.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
}

void TScriptedComDevice::Raise(std::uint32_t events)
{
    {
        std::lock_guard lock(script_->Mutex);
        script_->PendingEvents.push_back(events);
    }
    Wake();
}

void TScriptedComDevice::FailWait(int error)
{
    {
        std::lock_guard lock(script_->Mutex);
        script_->WaitFailure = error;
    }
    Wake();
}

int TScriptedComDevice::Open(const QString& portName)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("Open");
    if (script_->OpenError)
        return script_->OpenError;
    script_->Open = true;
    script_->OpenedName = portName;
    return 0;
}

void TScriptedComDevice::Close()
{
    std::lock_guard lock(script_->Mutex);
    if (script_->Open)
        script_->Calls << QStringLiteral("Close");
    script_->Open = false;
}

bool TScriptedComDevice::IsOpen() const
{
    std::lock_guard lock(script_->Mutex);
    return script_->Open;
}

int TScriptedComDevice::SetupComm(int, int)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("SetupComm");
    return script_->SetupError;
}

int TScriptedComDevice::SetLineSettings(const TLineSettings& settings)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("SetLineSettings");
    script_->States.push_back(ToDCB(settings)); // compared in the port's documented layout
    return script_->StateError;
}

int TScriptedComDevice::SetCommTimeouts(const TCommTimeouts& timeouts)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("SetCommTimeouts");
    script_->Timeouts.push_back(timeouts);
    return script_->TimeoutsError;
}

int TScriptedComDevice::Write(const char* data, int size, int& written)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("Write");
    written = 0;
    if (!script_->Open)
        return EBADF;
    if (script_->WriteError)
        return script_->WriteError;
    written = std::max(0, size - script_->WriteShortBy);
    script_->Output.append(data, written);
    return 0;
}

int TScriptedComDevice::Read(char* data, int size, int& read)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("Read");
    read = 0;
    if (!script_->Open)
        return EBADF;
    if (script_->ReadError)
        return script_->ReadError;
    read = std::min<int>(size, int(script_->Input.size()));
    std::memcpy(data, script_->Input.constData(), std::size_t(read));
    script_->Input.remove(0, read);
    return 0;
}

int TScriptedComDevice::ClearCommError(TComErrors& errors, int& inputCount)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("ClearCommError");
    if (script_->ClearError)
        return script_->ClearError;
    errors = script_->Errors;
    script_->Errors = {};
    inputCount = int(script_->Input.size());
    return 0;
}

int TScriptedComDevice::GetCommModemStatus(TComSignals& signals)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("GetCommModemStatus");
    if (script_->ModemError)
        return script_->ModemError;
    signals = script_->Signals;
    return 0;
}

int TScriptedComDevice::PurgeComm(unsigned)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("PurgeComm");
    return script_->PurgeError;
}

bool TScriptedComDevice::IsDeviceGone(int error) const
{
    return error == EIO;
}

int TScriptedComDevice::CheckPresent()
{
    std::lock_guard lock(script_->Mutex);
    return script_->Gone ? EIO : 0;
}

int TScriptedComDevice::SetCommMask(std::uint32_t mask)
{
    std::lock_guard lock(script_->Mutex);
    script_->Calls << QStringLiteral("SetCommMask");
    script_->Masks.push_back(mask);
    return 0;
}

TWaitResult TScriptedComDevice::WaitCommEvent(const TStopEvent& stop, std::uint32_t& events, int& error)
{
    for (;;) {
        {
            std::lock_guard lock(script_->Mutex);
            if (script_->WaitFailure) {
                error = script_->WaitFailure;
                return TWaitResult::Failed;
            }
            if (!script_->PendingEvents.empty()) {
                events = script_->PendingEvents.front();
                script_->PendingEvents.pop_front();
                return TWaitResult::Events;
            }
        }
        pollfd fds[2] = {{stop.Handle(), POLLIN, 0}, {wake_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            error = errno;
            return TWaitResult::Failed;
        }
        if (fds[0].revents)
            return TWaitResult::Stopped;
        std::uint64_t count;
        [[maybe_unused]] const ssize_t drained = ::read(wake_, &count, sizeof count);
    }
}
