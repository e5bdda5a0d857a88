#include "PortNames.h"

#include <algorithm>

namespace {
// A name with a control character in it (a newline) would break every list it appears in, the
// dialog's and the lines of sentrax-program --list alike.
bool Listable(const QString& name)
{
    return !name.isEmpty()
        && std::none_of(name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}
}

std::vector<TPortInfo> ListPortNames(const QStringList& extraPorts)
{
    return MergePortNames(ListMachinePorts(), extraPorts);
}

std::vector<TPortInfo> MergePortNames(std::vector<TPortInfo> ports, const QStringList& extraPorts)
{
    std::erase_if(ports, [](const TPortInfo& p) { return !Listable(p.Name); });
    for (const QString& extra : extraPorts) {
        const bool listed = std::any_of(ports.begin(), ports.end(), [&](const TPortInfo& p) { return p.Name == extra; });
        if (Listable(extra) && !listed)
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
