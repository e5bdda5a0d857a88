// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysUtils.h"

#include "Exception.h"
#include "Format.h"

#include <limits>

namespace {
const TStringTableEntry kSysConstStrings[] = {
    {1, "'%s' is not a valid integer value"},
};
const TResourceModule kSysConst{"SysConst", kSysConstStrings, 1};
}

const TResStringRec SInvalidInteger{&kSysConst, 1};

int StrToInt(const QString& text)
{
    const auto fail = [&text]() -> int {
        throw EConvertError(FormatText(LoadResString(&SInvalidInteger), {text}));
    };
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return fail();
    const std::int64_t limit = negative ? -std::int64_t(std::numeric_limits<int>::min())
                                        : std::numeric_limits<int>::max();
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return fail();
        value = value * 10 + (c - u'0');
        if (value > limit)
            return fail();
    }
    return static_cast<int>(negative ? -value : value);
}
