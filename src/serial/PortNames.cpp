// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortNames.h"

#include <algorithm>

std::vector<TPortInfo> ListPortNames(const QStringList& extraPorts)
{
    return MergePortNames(ListMachinePorts(), extraPorts);
}

std::vector<TPortInfo> MergePortNames(std::vector<TPortInfo> ports, const QStringList& extraPorts)
{
    for (const QString& extra : extraPorts) {
        const bool listed = std::any_of(ports.begin(), ports.end(), [&](const TPortInfo& p) { return p.Name == extra; });
        if (!extra.isEmpty() && !listed)
            ports.push_back({extra, QString()});
    }
    std::stable_sort(ports.begin(), ports.end(), [](const TPortInfo& a, const TPortInfo& b) {
        return QString::compare(a.Name, b.Name, Qt::CaseInsensitive) < 0;
    });
    return ports;
}

QStringList ExtraPortsFromEnvironment()
{
    return qEnvironmentVariable("SENTRAX_EXTRA_PORTS").split(u':', Qt::SkipEmptyParts);
}
