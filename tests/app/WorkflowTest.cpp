// SPDX-License-Identifier: GPL-3.0-or-later
// The workflow over a real tty: a pseudo-terminal stands for the LocoNet interface and sees every
// byte the window sends.

#include "WindowFixture.h"

#include "IntLocoNet.h"
#include "LocoNet.h"

using namespace std::chrono_literals;

namespace {
QByteArray StartMessages()
{
    QByteArray wire;
    for (const auto& m : LocoNet::VersionStartMessages)
        for (std::uint8_t b : LocoNet::WithChecksum(m))
            wire += char(b);
    return wire;
}
}

class Workflow : public WindowTest {
protected:
    TPty Pty;
};

TEST_F(Workflow, SettingsOpensThePortAndOffersTheVersions)
{
    OpenThroughSettings(Pty);
    EXPECT_TRUE(Form->ComPort1->Connected());
    EXPECT_EQ(Form->ComPort1->Port(), Pty.SlavePath());
    EXPECT_EQ(Form->ComPort1->FlowControl().FlowControl(), fcHardware); // 19200 baud
    EXPECT_TRUE(Form->GroupBox4->isVisible());
    EXPECT_TRUE(Form->GroupBox4->isEnabled());
    EXPECT_EQ(Form->ComLed3->State(), lsOn);
    EXPECT_TRUE(Errors.isEmpty());
    // FormActivate ran when the dialog closed: the fields were set anew.
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("1"));
}

TEST_F(Workflow, ClosingTheDialogActivatesTheWindowAgain)
{
    Form->GroupBox2->setVisible(true);
    Form->GroupBox2->setEnabled(true);
    Type(Form->Edit1, QStringLiteral("5000"));
    WhenModalShows([](QWidget* dialog) { ClickButton(dialog, QStringLiteral("Cancel")); });
    Click(Form->Button1);
    // FormActivate takes the spinner's value once the window is active again.
    EXPECT_TRUE(WaitFor([&] { return Form->Edit1->text() == QStringLiteral("2041"); }, 2s));
    // Cancel still opens the port: COM1 does not exist here.
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_EQ(Errors[0], QStringLiteral("Unable to open com port (win error code: 2)"));
    EXPECT_FALSE(Form->GroupBox4->isVisible());
}

TEST_F(Workflow, AnotherRateThan19200TurnsFlowControlOff)
{
    OpenThroughSettings(Pty, QStringLiteral("57600"));
    EXPECT_EQ(Form->ComPort1->FlowControl().FlowControl(), fcNone);
    EXPECT_EQ(Pty.Settings().OutputRate, 57600u);
    EXPECT_FALSE(Pty.Settings().HardwareFlow);
}

TEST_F(Workflow, AFullPassForVersion11SendsStartMessagesAndBothSwitchRequestPairs)
{
    OpenThroughSettings(Pty);
    Select(Form->RadioButton2);
    EXPECT_EQ(Pty.Read(26, 5s), StartMessages());
    EXPECT_TRUE(Form->Button2->isVisible());
    EXPECT_EQ(Form->Button3->text(), QStringLiteral("Current Monitor Off"));
    EXPECT_FALSE(Form->GroupBox4->isEnabled());
    EXPECT_TRUE(Form->GroupBox2->isEnabled());
    EXPECT_EQ(Form->Memo2->Lines().size(), 3);
    EXPECT_TRUE(Form->Memo2->Lines().at(1).startsWith(QStringLiteral("Druk op Current monitor ON")));

    Type(Form->Edit1, QStringLiteral("17"));
    Click(Form->Button2); // Current Monitor On: direction bit set
    EXPECT_EQ(Pty.Read(8, 5s), Wire({QByteArray("\xB0\x10\x30", 3), QByteArray("\xB0\x10\x20", 3)}));
    EXPECT_FALSE(Form->GroupBox2->isEnabled());
    EXPECT_TRUE(Form->GroupBox3->isVisible());
    EXPECT_TRUE(Form->Memo2->toPlainText().startsWith(QStringLiteral("Vul nu het bereik in")));

    Type(Form->Edit2, QStringLiteral("16"));
    Click(Form->Button4); // Range: direction bit clear
    EXPECT_EQ(Pty.Read(8, 5s), Wire({QByteArray("\xB0\x0F\x10", 3), QByteArray("\xB0\x0F\x00", 3)}));
    EXPECT_FALSE(Form->GroupBox2->isVisible());
    EXPECT_FALSE(Form->GroupBox3->isVisible());
    EXPECT_TRUE(Form->GroupBox4->isEnabled());
    for (QRadioButton* b : {Form->RadioButton1, Form->RadioButton2, Form->RadioButton3})
        EXPECT_FALSE(b->isChecked());
    EXPECT_EQ(Form->Memo2->toPlainText(), QStringLiteral("Druk nu op Close, de Sentrax is nu klaar voor gebruik."));
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join(u'|').toStdString();

    // A new pass may begin.
    Select(Form->RadioButton1);
    EXPECT_EQ(Pty.Read(26, 5s), StartMessages());
    EXPECT_FALSE(Form->Button2->isVisible());
    EXPECT_EQ(Form->Button3->text(), QStringLiteral("Start with Count On"));
    Type(Form->Edit1, QStringLiteral("1"));
    Click(Form->Button3); // Start with Count On: direction bit clear
    EXPECT_EQ(Pty.Read(8, 5s), Wire({QByteArray("\xB0\x00\x10", 3), QByteArray("\xB0\x00\x00", 3)}));
}

TEST_F(Workflow, KwadrantWithoutAnyTrafficReportsNoConnection)
{
    OpenThroughSettings(Pty);
    Select(Form->RadioButton3);
    EXPECT_EQ(Form->Memo1->Lines(),
              (QStringList{"Er is geen verbinding tussen de LocoNet-Centrale en het programma",
                           "There is no connect between the LocoNet device and the programmer"}));
    EXPECT_EQ(Form->Memo2->toPlainText(),
              QStringLiteral("Vul nu het start getal in waarmee de Sentrax moet beginnen met tellen, druk daarna op "
                             "Start with count ON."));
}

TEST_F(Workflow, KwadrantAddsNothingWhenTheMonitorPaneShowsSomething)
{
    OpenThroughSettings(Pty);
    Form->Memo1->AddLine(QStringLiteral("837C"));
    Select(Form->RadioButton3);
    EXPECT_EQ(Form->Memo1->Lines(), QStringList{"837C"});
}

TEST_F(Workflow, AVersionChosenOnAClosedPortStopsAtTheFirstSend)
{
    OpenThroughSettings(Pty);
    Form->ComPort1->ClosePort();
    const QString instructions = Form->Memo2->toPlainText();
    Select(Form->RadioButton2);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_EQ(Errors[0], QStringLiteral("WriteFile function failed (win error code: 9)")); // no full stop
    EXPECT_TRUE(Form->GroupBox2->isVisible());
    EXPECT_TRUE(Form->Button2->isVisible());
    EXPECT_EQ(Form->Memo2->toPlainText(), instructions);
    EXPECT_EQ(Pty.ReadUntilQuiet(100ms), QByteArray());
}

TEST_F(Workflow, SettingsWhileOpenKeepsThePortOpenAndOffersTheVersionsAgain)
{
    OpenThroughSettings(Pty);
    Select(Form->RadioButton2);
    Pty.Read(26, 5s);
    EXPECT_FALSE(Form->GroupBox4->isEnabled());
    WhenModalShows([](QWidget* dialog) { ClickButton(dialog, QStringLiteral("Cancel")); });
    Click(Form->Button1);
    EXPECT_TRUE(Form->ComPort1->Connected());
    EXPECT_TRUE(Form->GroupBox4->isEnabled());
    EXPECT_TRUE(Form->GroupBox2->isVisible()); // the open step stays
}

TEST_F(Workflow, ProgrammingWithThePortClosedAdvancesWithoutSending)
{
    OpenThroughSettings(Pty);
    Select(Form->RadioButton2);
    Pty.Read(26, 5s);
    Form->ComPort1->ClosePort();
    Type(Form->Edit1, QStringLiteral("x")); // not even converted while closed
    Click(Form->Button3);
    EXPECT_TRUE(Form->GroupBox3->isVisible());
    Click(Form->Button4);
    EXPECT_FALSE(Form->GroupBox3->isVisible());
    EXPECT_EQ(Errors.size(), 1); // Edit1Change's conversion of "x", nothing else
}

TEST_F(Workflow, AnInvalidFirstContactWithThePortOpenSendsNothingAndStays)
{
    OpenThroughSettings(Pty);
    Select(Form->RadioButton2);
    Pty.Read(26, 5s);
    Errors.clear();
    Form->Edit1->setText(QStringLiteral("12a"));
    Errors.clear();
    Click(Form->Button2);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_EQ(Errors[0], QStringLiteral("'12a' is not a valid integer value."));
    EXPECT_FALSE(Form->GroupBox3->isVisible());
    EXPECT_TRUE(Form->GroupBox2->isEnabled());
    EXPECT_EQ(Pty.ReadUntilQuiet(100ms), QByteArray());
}

TEST_F(Workflow, PowerOnTestSendsGlobalPowerOnOnlyWhileConnected)
{
    Click(Form->Button6);
    OpenThroughSettings(Pty);
    Click(Form->Button6);
    EXPECT_EQ(Pty.Read(2, 5s), QByteArray("\x83\x7C", 2));
    Form->Button6->setFocus(); // from the keyboard too
    QTest::keyClick(Form->Button6, Qt::Key_Return);
    EXPECT_EQ(Pty.Read(2, 5s), QByteArray("\x83\x7C", 2));
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(Workflow, CloseSendsGlobalPowerOffThenClosesThePortAndTheWindow)
{
    OpenThroughSettings(Pty);
    bool closedAfterPowerOff = false;
    Form->ComPort1->OnBeforeClose = [&](QObject*) { closedAfterPowerOff = Pty.Read(2, 1s) == QByteArray("\x82\x7D", 2); };
    Click(Form->Button5);
    EXPECT_TRUE(closedAfterPowerOff);
    EXPECT_FALSE(Form->ComPort1->Connected());
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Form->ComLed3->State(), lsOff);
}

TEST_F(Workflow, WorkThatWaitsRunsWhereLongStepsLetItRun)
{
    // A click on "Power ON test" that waits while the window is busy runs where the window lets
    // pending work run: between the start messages, inside a receive pass, and between the
    // power-off message and closing the port. Its 83 7C on the wire shows where that was.
    OpenThroughSettings(Pty);
    const QByteArray powerOn("\x83\x7C", 2);
    const auto clickPowerOnLater = [&] {
        QMetaObject::invokeMethod(Form->Button6, &QAbstractButton::click, Qt::QueuedConnection);
    };

    clickPowerOnLater();
    Form->RadioButton1Click(Form->RadioButton1);
    EXPECT_EQ(Pty.Read(28, 5s), powerOn + powerOn + StartMessages().mid(2)); // after the first message

    clickPowerOnLater();
    PendingText = "B2043178";
    ParseLocoNetText(PendingText);
    EXPECT_EQ(Pty.Read(2, 5s), powerOn); // before the pass was over

    // The lamps let pending work run too when the port closes; without them, only the step
    // between the power-off message and the close does.
    Form->ComLed1->SetComPort(nullptr);
    Form->ComLed3->SetComPort(nullptr);
    clickPowerOnLater();
    Form->Button5Click(Form->Button5);
    EXPECT_EQ(Pty.Read(4, 5s), QByteArray("\x82\x7D", 2) + powerOn);
}

TEST_F(Workflow, CloseWithThePortNeverOpenedSendsNothing)
{
    Click(Form->Button5);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(Workflow, AnAddressBeyondTheBusIsRefusedBeforeAnyByteGoesOut)
{
    OpenThroughSettings(Pty);
    Select(Form->RadioButton2);
    Pty.Read(26, 5s);
    Type(Form->Edit1, QStringLiteral("2049"));
    Click(Form->Button2);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains(QStringLiteral("2049"))) << Errors[0].toStdString();
    EXPECT_EQ(Pty.ReadUntilQuiet(100ms), QByteArray());
    EXPECT_FALSE(Form->GroupBox3->isVisible());
}
