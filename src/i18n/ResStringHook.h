// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ResString.h"

#include <QString>

#include <array>
#include <atomic>

// Library texts in the interface language. At the translation module's start-up a hook puts
// LoadResStringTranslated in the resource-string loader's slot, so every library text passes
// through the resource-string domains ("default", then "cport") on each use; at shutdown the
// original loader goes back.

// Replaces the loader in a slot for as long as it lives.
class THook {
public:
    THook(std::atomic<TResStringLoader>& slot, TResStringLoader replacement);
    ~THook();
    THook(const THook&) = delete;
    THook& operator=(const THook&) = delete;

    void Enable();
    void Disable();

private:
    std::atomic<TResStringLoader>& slot_;
    TResStringLoader patch_;
    TResStringLoader displaced_;
};

// The replacement loader: loads the text as the original does, then translates it.
QString LoadResStringTranslated(const TResStringRec* rec);
// Tries the resource-string domains in order; the first whose lookup changes the text wins.
QString TranslateResourceString(const QString& text);
// Appends a domain to the resource-string domain list.
void AddResourceStringDomain(const QString& name);

// Part of the translation module's start-up and shutdown.
void CreateResourceStringDomains();
void DestroyResourceStringDomains();
void InstallResourceStringHook();
void RemoveResourceStringHook();
