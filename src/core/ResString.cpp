// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResString.h"

std::atomic<TResStringLoader>& ResStringLoaderSlot()
{
    static std::atomic<TResStringLoader> slot{&LoadResStringUntranslated};
    return slot;
}

QString LoadResString(const TResStringRec* rec)
{
    return ResStringLoaderSlot().load(std::memory_order_acquire)(rec);
}

QString LoadResStringUntranslated(const TResStringRec* rec)
{
    if (!rec)
        return {};
    if (rec->Identifier >= 65536)
        return QString::fromUtf8(reinterpret_cast<const char*>(rec->Identifier));
    if (!rec->Module)
        return {};
    for (int i = 0; i < rec->Module->Count; ++i) {
        if (rec->Module->Strings[i].Id == rec->Identifier)
            return QString::fromUtf8(rec->Module->Strings[i].Text);
    }
    return {};
}
