// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetPortName.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<const char*, TNetScheme>, 3> kSchemes{{
    {"lbserver://", TNetScheme::LbServer},
    {"tcp://", TNetScheme::Tcp},
    {"rfc2217://", TNetScheme::Rfc2217},
}};

// The length of the scheme and "://" the text begins with at `from`, or 0.
qsizetype SchemeLength(const QString& text, qsizetype from, TNetScheme* scheme = nullptr)
{
    for (const auto& [prefix, kind] : kSchemes) {
        const QLatin1StringView p(prefix);
        if (QStringView(text).mid(from).startsWith(p)) {
            if (scheme)
                *scheme = kind;
            return p.size();
        }
    }
    return 0;
}

// Where the host that starts at `from` ends: after its closing bracket, or at the first ":".
qsizetype HostEnd(const QString& text, qsizetype from)
{
    if (from < text.size() && text[from] == u'[') {
        const qsizetype close = text.indexOf(u']', from);
        return close < 0 ? text.size() : close + 1;
    }
    const qsizetype colon = text.indexOf(u':', from);
    return colon < 0 ? text.size() : colon;
}

} // namespace

bool IsNetworkPortName(const QString& name)
{
    return SchemeLength(name, 0) > 0;
}

std::optional<TNetAddress> ParseNetworkPortName(const QString& name)
{
    TNetAddress address;
    const qsizetype start = SchemeLength(name, 0, &address.Scheme);
    if (start == 0)
        return std::nullopt;
    const qsizetype hostEnd = HostEnd(name, start);
    QString host = name.mid(start, hostEnd - start);
    if (host.startsWith(u'[')) {
        if (!host.endsWith(u']'))
            return std::nullopt;
        host = host.mid(1, host.size() - 2);
    }
    if (host.isEmpty() || host.contains(u'/') || host.contains(u' '))
        return std::nullopt;
    address.Host = host;
    if (hostEnd == name.size()) {
        if (address.Scheme != TNetScheme::LbServer)
            return std::nullopt;
        address.Port = 1234;
        return address;
    }
    if (name[hostEnd] != u':')
        return std::nullopt;
    const QString port = name.mid(hostEnd + 1);
    bool ok = false;
    const int number = port.toInt(&ok, 10);
    if (!ok || number < 1 || number > 65535 || !port.front().isDigit())
        return std::nullopt;
    address.Port = number;
    return address;
}

QStringList SplitPortList(const QString& list)
{
    QStringList names;
    qsizetype i = 0;
    while (i < list.size()) {
        qsizetype end;
        if (const qsizetype scheme = SchemeLength(list, i)) {
            end = HostEnd(list, i + scheme);
            // The port: ":" and digits.
            if (end + 1 < list.size() && list[end] == u':' && list[end + 1].isDigit()) {
                ++end;
                while (end < list.size() && list[end].isDigit())
                    ++end;
            }
            // Anything else up to the next ":" belongs to the name (and makes it one that does
            // not open, with its error then).
            const qsizetype colon = list.indexOf(u':', end);
            end = colon < 0 ? list.size() : colon;
        } else {
            const qsizetype colon = list.indexOf(u':', i);
            end = colon < 0 ? list.size() : colon;
        }
        if (end > i)
            names << list.mid(i, end - i);
        i = end + 1;
    }
    return names;
}
