// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortNames.h"

#include "NetPortName.h"

#include <QDir>
#include <QFile>

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
    QStringList names = SplitPortList(qEnvironmentVariable("SENTRAX_EXTRA_PORTS"));
    // The user's own list, which a start from the desktop menu (without the environment of a
    // shell) finds too.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    QFile file(config + QStringLiteral("/sentrax-configurator/ports"));
    if (file.open(QIODevice::ReadOnly)) {
        // A list of names is small; a file that is not one is not read beyond that.
        constexpr qint64 kMaxLine = 1024;
        for (int i = 0; i < 256 && !file.atEnd(); ++i) {
            const QString name = QString::fromUtf8(file.readLine(kMaxLine)).trimmed();
            if (!name.isEmpty() && !name.startsWith(u'#') && !names.contains(name))
                names << name;
        }
    }
    return names;
}
