// SPDX-License-Identifier: GPL-3.0-or-later
#include "PosixPortNames.h"

#include "EComPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>

#include <cerrno>
#include <memory>

namespace {

QString ReadFirstLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

// The USB device a tty hangs off holds idVendor, and often its maker's and product's names.
QString UsbDescription(const QString& deviceDirectory)
{
    QDir dir(deviceDirectory);
    for (int up = 0; up < 6 && !dir.isRoot(); ++up) {
        if (dir.exists(QStringLiteral("idVendor"))) {
            const QString manufacturer = ReadFirstLine(dir.filePath(QStringLiteral("manufacturer")));
            const QString product = ReadFirstLine(dir.filePath(QStringLiteral("product")));
            return (manufacturer + u' ' + product).trimmed();
        }
        if (!dir.cdUp())
            break;
    }
    return {};
}

bool IsSerialDevice(const QString& sysClassTty, const QString& name)
{
    const QString entry = sysClassTty + u'/' + name;
    // Virtual terminals, consoles and pseudo-terminals have no device behind them.
    if (!QFileInfo::exists(entry + QStringLiteral("/device")))
        return false;
    if (QFileInfo(entry).canonicalFilePath().contains(QStringLiteral("/virtual/")))
        return false;
    // Legacy ttyS entries exist whether or not a UART answers; type 0 means none does. Opening
    // one to find out would raise DTR and RTS on whatever is attached.
    if (name.startsWith(QStringLiteral("ttyS")) && ReadFirstLine(entry + QStringLiteral("/type")) == u"0")
        return false;
    return true;
}

} // namespace

std::vector<TPortInfo> ListSysfsPorts(const QString& sysClassTty)
{
    std::vector<TPortInfo> ports;
    const QByteArray path = QFile::encodeName(sysClassTty);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.constData()), &closedir);
    if (!dir)
        throw EComPort(erRegistry, errno);
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                throw EComPort(erRegistry, errno);
            break;
        }
        const QString name = QFile::decodeName(entry->d_name);
        if (name.startsWith(u'.') || !IsSerialDevice(sysClassTty, name))
            continue;
        const QString device = QFileInfo(sysClassTty + u'/' + name + QStringLiteral("/device")).canonicalFilePath();
        ports.push_back({QStringLiteral("/dev/") + name, UsbDescription(device)});
    }
    return ports;
}

std::vector<TPortInfo> ListMachinePorts()
{
    return ListSysfsPorts(QStringLiteral("/sys/class/tty"));
}
