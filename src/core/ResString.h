// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

// Library texts are resource strings: records that name a text in a module's string table.
// Every use loads the text afresh through one loader, reached through a replaceable slot, so that
// the translation module can put its own loader in front of every library text without the
// users of those texts knowing.

struct TStringTableEntry {
    int Id;
    const char* Text; // UTF-8
};

struct TResourceModule {
    const char* Name;
    const TStringTableEntry* Strings;
    int Count;
};

// Identifier below 65536: the entry of that id in Module's table (a missing entry loads as the
// empty text). Identifier of 65536 or more: the address of a NUL-terminated UTF-8 text.
struct TResStringRec {
    const TResourceModule* Module;
    std::intptr_t Identifier;
};

using TResStringLoader = QString (*)(const TResStringRec* rec);

// The loader every resource-string use goes through.
std::atomic<TResStringLoader>& ResStringLoaderSlot();

// Loads a text through the current loader.
QString LoadResString(const TResStringRec* rec);

// The built-in loader: the text as it stands in the table, untranslated.
QString LoadResStringUntranslated(const TResStringRec* rec);
