// SPDX-License-Identifier: GPL-3.0-or-later
// The configurator window driven as a user drives it: its first display, the contact arithmetic
// of the spinners and fields, the workflow's steps, and errors in the error box.

#include "WindowFixture.h"

#include "EComPort.h"

#include <QFontMetrics>
#include <QLabel>
#include <QToolButton>

#include <utility>

using namespace std::chrono_literals;

namespace {
// Makes the first-contact and range boxes usable without a port, for the arithmetic tests.
void ShowNumberBoxes(TfrmSentrax* form)
{
    for (QGroupBox* box : {form->GroupBox2, form->GroupBox3}) {
        box->setVisible(true);
        box->setEnabled(true);
    }
}

QString LabelSuffix(const QLabel* label, const QString& prefix)
{
    return label->text().startsWith(prefix) ? label->text().mid(prefix.size()) : QStringLiteral("<") + label->text() + u'>';
}
}

class WindowFirstDisplay : public WindowTest {};

TEST_F(WindowFirstDisplay, ShowsOnlyTheFirstStep)
{
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("     Sentrax Configurator V1.02"));
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("1"));
    EXPECT_EQ(Form->Edit2->text(), QStringLiteral("8"));
    EXPECT_EQ(Form->Label1->text(), QStringLiteral("S88 modulenumber: 1..1"));
    EXPECT_EQ(Form->StaticText1->text(), QStringLiteral("Range: 1..1 - 1..8"));
    QStringList visibleButtons;
    for (QAbstractButton* b : Form->findChildren<QAbstractButton*>()) {
        if (b->isVisibleTo(Form) && b->isEnabledTo(Form) && !qobject_cast<QToolButton*>(b))
            visibleButtons << b->text();
    }
    visibleButtons.sort();
    EXPECT_EQ(visibleButtons, (QStringList{"Close", "Power ON test", "Settings"}));
    EXPECT_FALSE(Form->ComPort1->Connected());
    EXPECT_TRUE(Form->Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(Form->Memo2->toPlainText().isEmpty());
    EXPECT_TRUE(Form->Edit3->text().isEmpty());
    EXPECT_TRUE(Form->Edit4->text().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), Form->Button1);
    EXPECT_EQ(Form->ComLed1->State(), lsOff);
    EXPECT_EQ(Form->ComLed3->State(), lsOff);
    EXPECT_EQ(Form->ComLed1->Kind(), lkRedLight);
    EXPECT_EQ(Form->ComLed3->Kind(), lkGreenLight);
}

TEST_F(WindowFirstDisplay, HasAFixedSizeScaledFromItsDesignAndKeepsEveryCaptionInside)
{
    const double scale = Form->logicalDpiX() / 120.0;
    EXPECT_EQ(Form->size(), QSize(qRound(693 * scale), qRound(523 * scale)));
    EXPECT_EQ(Form->minimumSize(), Form->maximumSize());
    EXPECT_FALSE(Form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(Form->windowFlags() & Qt::WindowMaximizeButtonHint);
    for (QAbstractButton* b : Form->findChildren<QAbstractButton*>()) {
        if (b->text().isEmpty())
            continue;
        const int textWidth = QFontMetrics(b->font()).horizontalAdvance(b->text());
        EXPECT_LE(textWidth + (qobject_cast<QRadioButton*>(b) ? 18 : 4), b->width()) << b->text().toStdString();
    }
    for (QLabel* l : Form->findChildren<QLabel*>()) {
        if (l == Form->Label1 || l == Form->StaticText1)
            continue;
        EXPECT_LE(QFontMetrics(l->font()).horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
    }
}

class WindowNumbers : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ShowNumberBoxes(Form);
    }
    QString Label() const { return LabelSuffix(Form->Label1, QStringLiteral("S88 modulenumber: ")); }
    QString Range() const { return LabelSuffix(Form->StaticText1, QStringLiteral("Range: ")); }
};

TEST_F(WindowNumbers, OneClickUpOnTheFirstContactSpinner)
{
    ClickArrow(Form->UpDown1, true);
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("9"));
    EXPECT_EQ(Label(), QStringLiteral("1..9"));
    EXPECT_EQ(Range(), QStringLiteral("1..9 - 1..16"));
}

TEST_F(WindowNumbers, TypedFirstContactsAcrossAModuleBoundary)
{
    Type(Form->Edit1, QStringLiteral("16"));
    EXPECT_EQ(Label(), QStringLiteral("1..16"));
    Type(Form->Edit1, QStringLiteral("17"));
    EXPECT_EQ(Label(), QStringLiteral("2..1"));
    EXPECT_EQ(Form->UpDown1->Position(), 16);
    Type(Form->Edit2, QStringLiteral("8")); // the next range update
    EXPECT_EQ(Range(), QStringLiteral("2..1 - 2..8"));
}

TEST_F(WindowNumbers, TheFirstContactSpinnerStopsAtItsMaximum)
{
    ClickArrow(Form->UpDown1, true, 260);
    EXPECT_EQ(Form->UpDown1->Position(), 2040);
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("2041"));
    EXPECT_EQ(Label(), QStringLiteral("128..9"));
    // The label grows with its text.
    EXPECT_LE(QFontMetrics(Form->Label1->font()).horizontalAdvance(Form->Label1->text()), Form->Label1->width());
}

TEST_F(WindowNumbers, AFirstContactBeyondTheSpinnerHoldsItAtItsBound)
{
    Type(Form->Edit1, QStringLiteral("5000"));
    EXPECT_EQ(Form->UpDown1->Position(), 2040);
    EXPECT_EQ(Label(), QStringLiteral("313..8"));
    Type(Form->Edit2, QStringLiteral("8"));
    EXPECT_EQ(Range(), QStringLiteral("313..8 - 128..16")); // the end follows the spinner
    Activate();
    EXPECT_EQ(Form->Edit1->text(), QStringLiteral("2041"));

    Type(Form->Edit1, QStringLiteral("0"));
    EXPECT_EQ(Label(), QStringLiteral("1..0"));
    EXPECT_EQ(Form->UpDown1->Position(), 0);
    EXPECT_TRUE(Errors.isEmpty());
    Form->Edit1->setText(QStringLiteral("-2147483648")); // the most negative whole number
    EXPECT_EQ(Form->UpDown1->Position(), 0);
    EXPECT_EQ(Label(), QStringLiteral("-134217727..0")); // truncating division of -2147483649
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(WindowNumbers, TheCountSpinnerAtItsEnds)
{
    ClickArrow(Form->UpDown2, false);
    EXPECT_EQ(Form->UpDown2->Position(), 0);
    EXPECT_EQ(Form->Edit2->text(), QStringLiteral("1"));
    EXPECT_EQ(Range(), QStringLiteral("1..1 - 1..1"));
    Type(Form->Edit2, QStringLiteral("40")); // at 0, any other text turns back into "1"
    EXPECT_EQ(Form->Edit2->text(), QStringLiteral("1"));
    ClickArrow(Form->UpDown2, true, 40);
    EXPECT_EQ(Form->UpDown2->Position(), 256);
    EXPECT_EQ(Range(), QStringLiteral("1..1 - 16..16"));
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(WindowNumbers, AnEmptiedCountIsAConversionErrorShownOnceWithAFullStop)
{
    const QString before = Form->StaticText1->text();
    Type(Form->Edit2, QString());
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_EQ(Errors[0], QStringLiteral("'' is not a valid integer value."));
    EXPECT_EQ(Form->StaticText1->text(), before);
    EXPECT_EQ(ErrorTitles[0], App->Title());
    Type(Form->Edit1, QString()); // an empty first contact is ignored
    EXPECT_EQ(Errors.size(), 1);
}

TEST(ErrorBox, FullStopOnlyAfterCharactersBeyondTheFullStop)
{
    EXPECT_EQ(TApplication::ErrorBoxText(QStringLiteral("'x' is not a valid integer value")),
              QStringLiteral("'x' is not a valid integer value."));
    EXPECT_EQ(TApplication::ErrorBoxText(EComPort(erOpenFailed, 2).Message()),
              QStringLiteral("Unable to open com port (win error code: 2)"));
    EXPECT_EQ(TApplication::ErrorBoxText(QStringLiteral("Done.")), QStringLiteral("Done."));
    EXPECT_EQ(TApplication::ErrorBoxText(QStringLiteral("Wow!")), QStringLiteral("Wow!"));
    EXPECT_EQ(TApplication::ErrorBoxText(QStringLiteral("count 7")), QStringLiteral("count 7."));
    EXPECT_EQ(TApplication::ErrorBoxText(QStringLiteral("trailing ")), QStringLiteral("trailing "));
    EXPECT_EQ(TApplication::ErrorBoxText(QString()), QString());
}

class WindowErrors : public WindowTest {};

TEST_F(WindowErrors, OneBoxAtATimeAndNoRepeats)
{
    int shown = 0;
    App->ErrorBox = [&](const QString&, const QString& text) {
        ++shown;
        Errors << text;
        if (shown == 1) {
            // More errors arrive while the first box is open.
            HandleException(std::make_exception_ptr(Exception(QStringLiteral("second"))));
            HandleException(std::make_exception_ptr(Exception(QStringLiteral("second"))));
            HandleException(std::make_exception_ptr(Exception(QStringLiteral("third"))));
        }
    };
    HandleException(std::make_exception_ptr(Exception(QStringLiteral("first"))));
    EXPECT_EQ(Errors, (QStringList{"first.", "second.", "third."}));
}

TEST_F(WindowErrors, TheTitleIsTheProgramFileName)
{
    // Nothing from the first full stop on, every letter after the first in lower case.
    EXPECT_EQ(TApplication::TitleOf(QStringLiteral("/opt/v1.2/SENTRAX.Configurator.bin")), QStringLiteral("Sentrax"));
    EXPECT_EQ(TApplication::TitleOf(QStringLiteral("/usr/bin/sEntrax-Program")), QStringLiteral("sentrax-program"));
    EXPECT_EQ(TApplication::TitleOf(QStringLiteral("/tmp/.hidden")), QString());
    EXPECT_EQ(App->Title(), TApplication::TitleOf(QCoreApplication::applicationFilePath())); // here test_app
}

TEST(WindowLanguage, TheWindowsOwnTextsAreNeverTranslated)
{
    // Dutch whatever the developer's settings: LC_ALL comes first, and LANGUAGE would list others.
    const QByteArray savedLocale = qgetenv("LC_ALL");
    const QByteArray savedList = qgetenv("LANGUAGE");
    qputenv("LC_ALL", "nl_NL.UTF-8");
    qunsetenv("LANGUAGE");
    InitializeModules(); // the Dutch catalogs beside this program translate "Close" and "Cancel"
    {
        TApplication application;
        TfrmSentrax* form = application.CreateMainForm();
        EXPECT_EQ(form->Button5->text(), QStringLiteral("Close"));
        EXPECT_EQ(form->Button1->text(), QStringLiteral("Settings"));
        EXPECT_EQ(form->GroupBox1->title(), QStringLiteral("Set Comport and Baudrate"));
        EXPECT_EQ(form->windowTitle(), QStringLiteral("     Sentrax Configurator V1.02"));
        delete frmSentrax;
    }
    FinalizeModules();
    for (const auto& [name, saved] : {std::pair("LC_ALL", savedLocale), std::pair("LANGUAGE", savedList)}) {
        if (saved.isNull())
            qunsetenv(name);
        else
            qputenv(name, saved);
    }
}
