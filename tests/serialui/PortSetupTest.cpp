// SPDX-License-Identifier: GPL-3.0-or-later
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

TComComboBox* ComboOf(QWidget* dialog, int number)
{
    return static_cast<TComSetupFrm*>(dialog)->Combo(number);
}

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
    const int states = p.Script->CallCount(QStringLiteral("SetLineSettings"));
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
    EXPECT_EQ(p.Script->CallCount(QStringLiteral("SetLineSettings")), states + 1);
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
    const int states = count("SetLineSettings");
    const int setups = count("SetupComm");
    const int timeouts = count("SetCommTimeouts");
    const int opens = count("Open");
    WhenModalShows([](QWidget* dialog) { ClickButton(dialog, QStringLiteral("OK")); });
    p.Port->ShowSettingsDialog();
    EXPECT_EQ(count("SetLineSettings"), states + 1);
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
