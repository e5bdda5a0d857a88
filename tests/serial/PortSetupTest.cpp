// The port settings dialog and its bound lists, driven as a user drives them.

#include "CPort.h"
#include "CPortCtl.h"
#include "CPortSetup.h"
#include "EComPort.h"
#include "ModalDriver.h"
#include "PortNames.h"
#include "Pty.h"
#include "ScriptedComDevice.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {


// The configurator's stored settings.
void StoreConfiguratorSettings(TComPort& port)
{
    port.SetBaudRate(br19200);
    port.FlowControl().SetOutCTSFlow(true);
    port.FlowControl().SetControlRTS(rtsHandshake);
}

TComComboBox* ComboOf(QWidget* dialog, int number)
{
    return static_cast<TComSetupFrm*>(dialog)->Combo(number);
}

// Sets SENTRAX_EXTRA_PORTS for the lifetime of the object.
struct TExtraPorts {
    explicit TExtraPorts(const QString& value) { qputenv("SENTRAX_EXTRA_PORTS", value.toLocal8Bit()); }
    ~TExtraPorts() { qunsetenv("SENTRAX_EXTRA_PORTS"); }
};

} // namespace

TEST(PortSetupDialog, LayoutCaptionsAndDefaultButton)
{
    TComSetupFrm dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Setup"));
    EXPECT_EQ(dialog.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title(), QStringLiteral(" Settings "));
    QStringList captions;
    for (int i = 1; i <= 6; ++i)
        captions << dialog.findChild<QLabel*>(QStringLiteral("Label%1").arg(i))->text();
    EXPECT_EQ(captions, (QStringList{"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"}));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Button1"));
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("Button2"))->text(), QStringLiteral("Cancel"));
    EXPECT_FALSE(dialog.Combo(1)->isEditable());
    EXPECT_EQ(dialog.Combo(2)->count(), 16);
    EXPECT_EQ(dialog.Combo(6)->itemText(3), QStringLiteral("Custom"));
    // Tab order: the six lists, then OK, then Cancel.
    QWidget* w = dialog.Combo(1);
    for (int i = 2; i <= 6; ++i) {
        w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus))
            w = w->nextInFocusChain();
        EXPECT_EQ(w, dialog.Combo(i));
    }
}

TEST(PortSetupDialog, CancelLeavesEveryPropertyAsItWas)
{
    auto p = MakeScriptedPort();
    StoreConfiguratorSettings(*p.Port);
    WhenModalShows([](QWidget* dialog) {
        ChooseComboItem(ComboOf(dialog, 2), QStringLiteral("57600"));
        ChooseComboItem(ComboOf(dialog, 5), QStringLiteral("Even"));
        ChooseComboItem(ComboOf(dialog, 6), QStringLiteral("None"));
        ClickButton(dialog, QStringLiteral("Cancel"));
    });
    p.Port->ShowSettingsDialog();
    EXPECT_EQ(p.Port->BaudRate(), br19200);
    EXPECT_EQ(p.Port->Parity().Bits(), prNone);
    EXPECT_EQ(p.Port->FlowControl().FlowControl(), fcHardware);
    EXPECT_EQ(p.Port->Port(), QStringLiteral("COM1"));
}

TEST(PortSetupDialog, OkAppliesTheChoicesInOneSettingsUpdate)
{
    auto p = MakeScriptedPort();
    StoreConfiguratorSettings(*p.Port);
    p.Port->OpenPort();
    const int states = p.Script->CallCount(QStringLiteral("SetCommState"));
    WhenModalShows([](QWidget* dialog) {
        ChooseComboItem(ComboOf(dialog, 2), QStringLiteral("57600"));
        ChooseComboItem(ComboOf(dialog, 3), QStringLiteral("7"));
        ChooseComboItem(ComboOf(dialog, 5), QStringLiteral("Odd"));
        ClickButton(dialog, QStringLiteral("OK"));
    });
    p.Port->ShowSettingsDialog();
    EXPECT_EQ(p.Port->BaudRate(), br57600);
    EXPECT_EQ(p.Port->DataBits(), dbSeven);
    EXPECT_EQ(p.Port->Parity().Bits(), prOdd);
    // Three changed line settings, one application.
    EXPECT_EQ(p.Script->CallCount(QStringLiteral("SetCommState")), states + 1);
    EXPECT_EQ(p.Script->States.back().BaudRate, 57600u);
    EXPECT_EQ(p.Script->States.back().Parity, 1);
}

TEST(PortSetupDialog, OkWithoutTouchingAnythingReappliesTheCurrentValues)
{
    TExtraPorts extra(QStringLiteral("/tmp/sentrax-scripted"));
    auto p = MakeScriptedPort();
    StoreConfiguratorSettings(*p.Port);
    p.Port->SetPort(QStringLiteral("/tmp/sentrax-scripted"));
    p.Port->OpenPort();
    const auto count = [&](const char* call) { return p.Script->CallCount(QString::fromLatin1(call)); };
    const int states = count("SetCommState");
    const int setups = count("SetupComm");
    const int timeouts = count("SetCommTimeouts");
    const int opens = count("Open");
    WhenModalShows([](QWidget* dialog) { ClickButton(dialog, QStringLiteral("OK")); });
    p.Port->ShowSettingsDialog();
    EXPECT_EQ(count("SetCommState"), states + 1);
    EXPECT_EQ(count("SetupComm"), setups + 1);
    EXPECT_EQ(count("SetCommTimeouts"), timeouts + 1);
    EXPECT_EQ(count("Open"), opens); // the port name did not change: no reopen
    EXPECT_EQ(p.Port->Port(), QStringLiteral("/tmp/sentrax-scripted"));
    EXPECT_EQ(p.Port->BaudRate(), br19200);
    EXPECT_EQ(p.Port->FlowControl().FlowControl(), fcHardware);
}

TEST(PortSetupDialog, APortNotAmongTheDevicesShowsNoSelectionAndOkEmptiesIt)
{
    auto p = MakeScriptedPort();
    p.Port->SetPort(QStringLiteral("COM1"));
    QString shown = QStringLiteral("unset");
    WhenModalShows([&](QWidget* dialog) {
        shown = ComboOf(dialog, 1)->Text();
        EXPECT_EQ(ComboOf(dialog, 1)->currentIndex(), -1);
        ClickButton(dialog, QStringLiteral("OK"));
    });
    p.Port->ShowSettingsDialog();
    EXPECT_EQ(shown, QString());
    EXPECT_EQ(p.Port->Port(), QString());

    // The platform's own device opens nothing under the empty name either.
    TComPort real;
    real.SetEvents({});
    real.SetPort(QString());
    try {
        real.OpenPort();
        ADD_FAILURE() << "opened a port without a name";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Reason(), erOpenFailed);
    }
}

TEST(PortSetupDialog, AnExtraPortFromTheEnvironmentCanBeChosenAndOpened)
{
    TPty pty;
    TExtraPorts extra(QStringLiteral("/tmp/sentrax-nonexistent-b:") + pty.SlavePath());
    TComPort port;
    port.SetEvents({});
    QStringList items;
    WhenModalShows([&](QWidget* dialog) {
        TComComboBox* combo = ComboOf(dialog, 1);
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        ChooseComboItem(combo, pty.SlavePath());
        ClickButton(dialog, QStringLiteral("OK"));
    });
    port.ShowSettingsDialog();
    EXPECT_TRUE(items.contains(pty.SlavePath()));
    EXPECT_TRUE(items.contains(QStringLiteral("/tmp/sentrax-nonexistent-b")));
    EXPECT_EQ(port.Port(), pty.SlavePath());
    port.OpenPort();
    EXPECT_TRUE(port.Connected());

    // OK on a port that is gone: the open port closes, the new name fails to open, and the
    // settings update still ends, so that the port applies its settings again when it opens.
    WhenModalShows([&](QWidget* dialog) {
        ChooseComboItem(ComboOf(dialog, 1), QStringLiteral("/tmp/sentrax-nonexistent-b"));
        ClickButton(dialog, QStringLiteral("OK"));
    });
    EXPECT_EQ(Raised([&] { port.ShowSettingsDialog(); }).Reason(), erOpenFailed);
    EXPECT_FALSE(port.Connected());
    port.SetPort(pty.SlavePath());
    port.SetBaudRate(br57600);
    port.OpenPort();
    EXPECT_EQ(pty.Settings().OutputRate, 57600u);
}

TEST(PortSetupDialog, FlowControlListShowsThePresetTheFlagsAmountTo)
{
    auto p = MakeScriptedPort();
    StoreConfiguratorSettings(*p.Port);
    QString shown;
    const auto showDialog = [&] {
        WhenModalShows([&](QWidget* dialog) {
            shown = ComboOf(dialog, 6)->Text();
            ClickButton(dialog, QStringLiteral("OK"));
        });
        p.Port->ShowSettingsDialog();
    };
    showDialog();
    EXPECT_EQ(shown, QStringLiteral("Hardware"));
    p.Port->FlowControl().SetFlowControl(fcNone);
    showDialog();
    EXPECT_EQ(shown, QStringLiteral("None"));
    p.Port->FlowControl().SetXonXoffIn(true); // one direction only
    showDialog();
    EXPECT_EQ(shown, QStringLiteral("Custom"));
    EXPECT_TRUE(p.Port->FlowControl().XonXoffIn()); // choosing Custom kept the flags
    EXPECT_FALSE(p.Port->FlowControl().XonXoffOut());
}

TEST(PortSetupDialog, TheBaudListShowsThePortsRateCustomIncluded)
{
    auto p = MakeScriptedPort();
    p.Port->SetBaudRate(brCustom);
    p.Port->SetCustomBaudRate(250000);
    QString shown;
    WhenModalShows([&](QWidget* dialog) {
        shown = ComboOf(dialog, 2)->Text();
        ClickButton(dialog, QStringLiteral("OK"));
    });
    p.Port->ShowSettingsDialog();
    EXPECT_EQ(shown, QStringLiteral("Custom"));
    EXPECT_EQ(p.Port->BaudRate(), brCustom);
    EXPECT_EQ(p.Port->CustomBaudRate(), 250000);
}

TEST(PortComboBox, TextSelectsIgnoringCaseAndABoundPortsDestructionIsForgotten)
{
    TComComboBox combo;
    combo.SetComProperty(cpParity);
    EXPECT_EQ(combo.Text(), QStringLiteral("None")); // no port: the first item
    combo.SetText(QStringLiteral("mark"));
    EXPECT_EQ(combo.Text(), QStringLiteral("Mark"));
    combo.SetText(QStringLiteral("Purple"));
    EXPECT_EQ(combo.Text(), QStringLiteral("Mark"));

    auto p = MakeScriptedPort();
    p.Port->Parity().SetBits(prSpace);
    combo.SetComPort(p.Port.get());
    EXPECT_EQ(combo.Text(), QStringLiteral("Space"));
    p.Port.reset();
    EXPECT_EQ(combo.ComPort(), nullptr);
    EXPECT_EQ(combo.currentIndex(), 0);
}

TEST(PortComboBox, AutoApplyWritesAUserChoiceAtOnce)
{
    auto p = MakeScriptedPort();
    TComComboBox combo;
    combo.SetComProperty(cpStopBits);
    combo.SetComPort(p.Port.get());
    ChooseComboItem(&combo, QStringLiteral("2"));
    EXPECT_EQ(p.Port->StopBits(), sbOneStopBit);
    combo.SetAutoApply(true);
    ChooseComboItem(&combo, QStringLiteral("1.5"));
    EXPECT_EQ(p.Port->StopBits(), sbOne5StopBits);
}

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

    const auto ports = ListPortNames(sys.ClassTty(), {QStringLiteral("/tmp/Sim"), QStringLiteral("/dev/ttyUSB2"),
                                                      QStringLiteral("/tmp/sam")});
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
        ListPortNames(QStringLiteral("/sys/sentrax-no-such-class"), {});
        ADD_FAILURE() << "listed a missing directory";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Reason(), erRegistry);
        EXPECT_EQ(e.SystemCode(), ENOENT);
        EXPECT_EQ(e.Message(), QStringLiteral("Registry error (win error code: 2)"));
    }
}

TEST(PortNames, TheExtraPortsComeFromTheEnvironment)
{
    TExtraPorts extra(QStringLiteral("/tmp/a::/tmp/b"));
    EXPECT_EQ(ExtraPortsFromEnvironment(), (QStringList{"/tmp/a", "/tmp/b"}));
}
