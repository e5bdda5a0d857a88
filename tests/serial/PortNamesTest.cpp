// SPDX-License-Identifier: GPL-3.0-or-later
// The serial devices a user can choose from: the kernel's list, and the extra ports.

#include "EComPort.h"
#include "NetPortName.h"
#include "PosixPortNames.h"
#include "TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

namespace {
// A small /sys/class/tty: entries are links to device directories, as the kernel makes them.
struct TFakeSysfs {
    QTemporaryDir Root;
    QString ClassTty() const { return Root.filePath(QStringLiteral("class/tty")); }

    void AddTty(const QString& name, const QString& devicePath, const QString& type = {})
    {
        QDir root(Root.path());
        const QString ttyDir = devicePath + QStringLiteral("/tty/") + name;
        root.mkpath(ttyDir);
        root.mkpath(QStringLiteral("class/tty"));
        if (!devicePath.contains(QStringLiteral("virtual")))
            QFile::link(Root.filePath(devicePath), Root.filePath(ttyDir + QStringLiteral("/device")));
        if (!type.isEmpty())
            Write(ttyDir + QStringLiteral("/type"), type);
        QFile::link(Root.filePath(ttyDir), Root.filePath(QStringLiteral("class/tty/") + name));
    }
    void Write(const QString& relative, const QString& text)
    {
        QFile f(Root.filePath(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8() + '\n');
    }
};
}

TEST(PortNames, ListsRealSerialDevicesSortedIgnoringCaseWithTheirUsbNames)
{
    TFakeSysfs sys;
    sys.AddTty(QStringLiteral("ttyUSB10"), QStringLiteral("devices/pci/usb1/1-2/1-2:1.0/ttyUSB10"));
    sys.AddTty(QStringLiteral("ttyUSB2"), QStringLiteral("devices/pci/usb1/1-3/1-3:1.0/ttyUSB2"));
    sys.Write(QStringLiteral("devices/pci/usb1/1-3/idVendor"), QStringLiteral("0403"));
    sys.Write(QStringLiteral("devices/pci/usb1/1-3/manufacturer"), QStringLiteral("FTDI"));
    sys.Write(QStringLiteral("devices/pci/usb1/1-3/product"), QStringLiteral("LocoNet Interface"));
    sys.AddTty(QStringLiteral("ttyS0"), QStringLiteral("devices/platform/serial8250/s0"), QStringLiteral("4"));
    sys.AddTty(QStringLiteral("ttyS1"), QStringLiteral("devices/platform/serial8250/s1"), QStringLiteral("0"));
    sys.AddTty(QStringLiteral("tty0"), QStringLiteral("devices/virtual/tty0"));

    // A name with a control character would break the list's lines: it is left out.
    const auto ports = MergePortNames(ListSysfsPorts(sys.ClassTty()),
                                      {QStringLiteral("/tmp/Sim"), QStringLiteral("/dev/ttyUSB2"), QStringLiteral("/tmp/sam"),
                                       QStringLiteral("/tmp/two\nlines"), QStringLiteral("/tmp/\x1b[2J")});
    QStringList names;
    for (const auto& port : ports)
        names << port.Name;
    EXPECT_EQ(names, (QStringList{"/dev/ttyS0", "/dev/ttyUSB10", "/dev/ttyUSB2", "/tmp/sam", "/tmp/Sim"}));
    EXPECT_EQ(ports[2].Description, QStringLiteral("FTDI LocoNet Interface"));
    EXPECT_EQ(ports[1].Description, QString());
}

TEST(PortNames, AListingThatCannotBeReadFailsWithReason23)
{
    try {
        ListSysfsPorts(QStringLiteral("/sys/sentrax-no-such-class"));
        ADD_FAILURE() << "listed a missing directory";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Reason(), erRegistry);
        EXPECT_EQ(e.SystemCode(), ENOENT);
        EXPECT_EQ(e.Message(), QStringLiteral("Registry error (win error code: 2)"));
    }
}

TEST(PortNames, TheExtraPortsComeFromTheEnvironmentThenTheUsersFile)
{
    QTemporaryDir config;
    const QByteArray previousConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    {
        TExtraPorts extra(QStringLiteral("/tmp/a::/tmp/b"));
        EXPECT_EQ(ExtraPortsFromEnvironment(), (QStringList{"/tmp/a", "/tmp/b"}));
    }
    // The ":" of SCHEME://HOST:PORT and inside an IPv6 host's brackets does not separate; a
    // network name without a port is whole up to the next ":".
    TExtraPorts extra(QStringLiteral("/dev/ttyUSB0:lbserver://pi.local:1234:tcp://[fe80::1]:2000:lbserver://pi"
                                     ":rfc2217://10.0.0.2:3000:ttyS0:tcp://host:x"));
    ASSERT_TRUE(QDir(config.path()).mkpath(QStringLiteral("sentrax-configurator")));
    QFile file(config.filePath(QStringLiteral("sentrax-configurator/ports")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# the layout room\n  rfc2217://[::1]:7000  \n\nlbserver://pi.local:1234\n");
    file.close();
    EXPECT_EQ(ExtraPortsFromEnvironment(),
              (QStringList{"/dev/ttyUSB0", "lbserver://pi.local:1234", "tcp://[fe80::1]:2000", "lbserver://pi",
                           "rfc2217://10.0.0.2:3000", "ttyS0", "tcp://host", "x", "rfc2217://[::1]:7000"}));
    qputenv("XDG_CONFIG_HOME", previousConfig);
}

TEST(PortNames, ANetworkNameGivesItsSchemeHostAndPortOrNothing)
{
    const auto parsed = [](const char* name) {
        const auto a = ParseNetworkPortName(QString::fromLatin1(name));
        return a ? QStringLiteral("%1 %2 %3").arg(int(a->Scheme)).arg(a->Host).arg(a->Port) : QStringLiteral("none");
    };
    EXPECT_EQ(parsed("lbserver://pi.local"), QStringLiteral("0 pi.local 1234"));
    EXPECT_EQ(parsed("tcp://[fe80::1]:2000"), QStringLiteral("1 fe80::1 2000"));
    EXPECT_EQ(parsed("rfc2217://10.0.0.2:65535"), QStringLiteral("2 10.0.0.2 65535"));
    for (const char* bad : {"tcp://host", "rfc2217://host:0", "tcp://host:65536", "tcp://:2000", "tcp://host:+20",
                            "tcp://[::1:2000", "tcp://host:20/x", "TCP://host:20", "tcp:/host:20"})
        EXPECT_EQ(parsed(bad), QStringLiteral("none")) << bad;
    EXPECT_FALSE(IsNetworkPortName(QStringLiteral("tcp/host:20"))); // a path under the working directory
}
