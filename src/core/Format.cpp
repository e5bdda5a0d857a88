// SPDX-License-Identifier: GPL-3.0-or-later
#include "Format.h"

QString FormatText(const QString& pattern, const QStringList& args)
{
    QString result;
    result.reserve(pattern.size() + 16);
    qsizetype next = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'%' && i + 1 < pattern.size()) {
            const QChar kind = pattern[i + 1];
            if (kind == u'%') {
                result += u'%';
                ++i;
                continue;
            }
            if (kind == u's' || kind == u'd') {
                if (next < args.size())
                    result += args[next];
                ++next;
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}
