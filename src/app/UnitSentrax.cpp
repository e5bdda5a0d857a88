// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnitSentrax.h"

#include "ActiveForm.h"
#include "ui_TfrmSentrax.h"
#include "DesignScaling.h"
#include "EComPort.h"
#include "Exception.h"
#include "IntLocoNet.h"
#include "LocoNetReceive.h"
#include "NetComDevice.h"
#include "SysUtils.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QPalette>
#include <QScopedValueRollback>

#include <algorithm>

TfrmSentrax* frmSentrax = nullptr;
std::string PendingText;
std::string WorkingText;

namespace {

// The window is laid out at 120 pixels per inch.
constexpr int kDesignDpi = 120;

const QString kVersionOneInstruction = QStringLiteral(
    "Vul nu het start getal in waarmee de Sentrax moet beginnen met tellen, druk daarna op Start with count ON.");
const QStringList kCurrentMonitorInstructions{
    QStringLiteral("Vul nu het start getal in waarmee de Sentrax moet beginnen met tellen."),
    QStringLiteral("Druk op Current monitor ON, als op de 2 polige connector de baanspanning is aangesloten "
                   "t.b.v een referentie spanning."),
    QStringLiteral("Druk op Current monitor OFF, als er geen referentie spanning is aangesloten."),
};
const QString kRangeInstruction = QStringLiteral(
    "Vul nu het bereik in, dat is het aantal aangesloten modules x 16 in het geval van 16 contacten per "
    "module, in het geval van 8 contacten per module is het X8, het kan natuurlijk ook een combinatie zijn "
    "van beide modules. Druk daarna op RANGE");
const QString kCloseInstruction = QStringLiteral("Druk nu op Close, de Sentrax is nu klaar voor gebruik.");

// S88 contacts come in modules of 16: contact n is module (n-1) div 16 + 1, input
// (n-1) mod 16 + 1, division truncating toward zero (so contact 0 is module 1, input 0).
QString ModuleAndInput(long long zeroBased)
{
    return QStringLiteral("%1..%2").arg(zeroBased / 16 + 1).arg(zeroBased % 16 + 1);
}

// The monitor pane keeps the newest lines, as a terminal does: a busy bus shows about 460 lines a
// second, and a pane left open over a day of operating would otherwise take all the memory a PC
// has. This many lines go far beyond any configuration session.
constexpr int kMonitorPaneMaxLines = 200'000;

// The first contact's spinner counts from 0 and stops at the last module's first input.
constexpr int kFirstContactMax = 2040;

} // namespace

TfrmSentrax::TfrmSentrax(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
    , ui_(std::make_unique<Ui::TfrmSentrax>())
{
    frmSentrax = this;
    try {
        ui_->setupUi(this);
        TakeControls();
        LoadStoredComponents();
        ConnectHandlers();
        ScaleDesignedForm(this, kDesignDpi);
        setFixedSize(size());
        move(QPoint(586, 158) * (double(logicalDpiX()) / kDesignDpi));
        Button1->setFocus();
    } catch (...) {
        frmSentrax = nullptr;
        throw;
    }
}

TfrmSentrax::~TfrmSentrax()
{
    // The port closes (and its monitor ends) before the controls that follow it go.
    delete ComPort1;
    if (frmSentrax == this)
        frmSentrax = nullptr;
}

void TfrmSentrax::TakeControls()
{
    GroupBox1 = ui_->GroupBox1;
    Button1 = ui_->Button1;
    GroupBox2 = ui_->GroupBox2;
    Button2 = ui_->Button2;
    Button3 = ui_->Button3;
    Edit1 = ui_->Edit1;
    UpDown1 = ui_->UpDown1;
    Button5 = ui_->Button5;
    GroupBox3 = ui_->GroupBox3;
    Button4 = ui_->Button4;
    Edit2 = ui_->Edit2;
    UpDown2 = ui_->UpDown2;
    Label1 = ui_->Label1;
    StaticText1 = ui_->StaticText1;
    Edit3 = ui_->Edit3;
    Memo1 = ui_->Memo1;
    Edit4 = ui_->Edit4;
    ComLed1 = ui_->ComLed1;
    ComLed3 = ui_->ComLed3;
    Label2 = ui_->Label2;
    Label3 = ui_->Label3;
    Memo2 = ui_->Memo2;
    GroupBox4 = ui_->GroupBox4;
    RadioButton1 = ui_->RadioButton1;
    RadioButton2 = ui_->RadioButton2;
    RadioButton3 = ui_->RadioButton3;
    Button6 = ui_->Button6;
}

void TfrmSentrax::LoadStoredComponents()
{
    setFont(DesignFont(13));
    QFont bold = DesignFont(13, true);
    Label1->setFont(bold);
    StaticText1->setFont(bold);
    Memo2->setFont(DesignFont(17, true));
    // The dark grey of a 3D control's darkest shadow.
    QPalette settingsPalette = Button1->palette();
    settingsPalette.setColor(QPalette::ButtonText, QColor(0x40, 0x40, 0x40));
    Button1->setPalette(settingsPalette);
    // A button with the focus answers Return as well as Space, as buttons of this kind of
    // window do (Qt's own take only Space, outside dialogs).
    for (QPushButton* button : {Button1, Button2, Button3, Button4, Button5, Button6})
        button->setAutoDefault(true);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->SetMaxLines(kMonitorPaneMaxLines);
    Memo2->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    UpDown1->SetMin(0);
    UpDown1->SetMax(kFirstContactMax);
    UpDown1->SetIncrement(8);
    UpDown1->SetPosition(0);
    UpDown2->SetMin(0);
    UpDown2->SetMax(256);
    UpDown2->SetIncrement(8);
    UpDown2->SetPosition(8);

    ComPort1 = new TComPort(this);
    ComPort1->setObjectName(QStringLiteral("ComPort1"));
    ComPort1->BeginLoading();
    ComPort1->SetPort(QStringLiteral("COM1"));
    StoreLocoNetPortSettings(*ComPort1);
    ComPort1->OnRxChar = [this](QObject* sender, int count) { ComPort1RxChar(sender, count); };
    linkView_ = std::make_unique<TWindowLocoNetView>(*this);
    link_ = std::make_unique<TLocoNetLink>(*ComPort1, *linkView_, PendingText, WorkingText);

    ComLed1->BeginLoading();
    ComLed1->SetComPort(ComPort1);
    ComLed1->SetLedSignal(lsCTS);
    ComLed1->SetKind(lkRedLight);
    ComLed3->BeginLoading();
    ComLed3->SetComPort(ComPort1);
    ComLed3->SetLedSignal(lsConn);
    ComLed3->SetKind(lkGreenLight);

    ClientSocket1 = new TClientSocket(this);
    ClientSocket1->setObjectName(QStringLiteral("ClientSocket1"));
    ClientSocket1->Active = false;
    ClientSocket1->ClientType = ctNonBlocking;
    ClientSocket1->Port = 21105;
    ClientSocket1->Host = QStringLiteral("192.168.1.100");

    ComPort1->Loaded();
    ComLed1->Loaded();
    ComLed3->Loaded();
}

void TfrmSentrax::ConnectHandlers()
{
    // Every handler runs guarded: what it raises goes to the application's error box and never
    // unwinds through Qt's own frames.
    const auto onClick = [this](QAbstractButton* button, void (TfrmSentrax::*handler)(QObject*)) {
        connect(button, &QAbstractButton::clicked, this, [this, button, handler] {
            Guarded([&] { (this->*handler)(button); });
        });
    };
    onClick(Button1, &TfrmSentrax::Button1Click);
    onClick(Button2, &TfrmSentrax::Button2Click);
    onClick(Button3, &TfrmSentrax::Button3Click);
    onClick(Button4, &TfrmSentrax::Button4Click);
    onClick(Button5, &TfrmSentrax::Button5Click);
    onClick(Button6, &TfrmSentrax::Button6Click);
    // A radio button's handler runs when it becomes selected, not when it is cleared.
    const auto onSelect = [this](QRadioButton* button, void (TfrmSentrax::*handler)(QObject*)) {
        connect(button, &QRadioButton::toggled, this, [this, button, handler](bool checked) {
            if (checked)
                Guarded([&] { (this->*handler)(button); });
        });
    };
    onSelect(RadioButton1, &TfrmSentrax::RadioButton1Click);
    onSelect(RadioButton2, &TfrmSentrax::RadioButton2Click);
    onSelect(RadioButton3, &TfrmSentrax::RadioButton3Click);
    connect(Edit1, &QLineEdit::textChanged, this, [this] { RunChangeHandler([this] { Edit1Change(Edit1); }); });
    connect(Edit2, &QLineEdit::textChanged, this, [this] { RunChangeHandler([this] { Edit2Change(Edit2); }); });
    UpDown1->OnClick = [this](QObject* sender, TUDBtnType button) { UpDown1Click(sender, button); };
    UpDown2->OnClick = [this](QObject* sender, TUDBtnType button) { UpDown2Click(sender, button); };
    new TActiveFormWatch(*this, [this] { Guarded([this] { FormActivate(this); }); });
}

void TfrmSentrax::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program, whatever other windows are open.
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        closed_ = true;
        QCoreApplication::quit();
    }
}

void TfrmSentrax::RunChangeHandler(const std::function<void()>& handler)
{
    if (!changeError_) {
        Guarded(handler); // the user changed the text
        return;
    }
    try {
        handler();
    } catch (...) {
        *changeError_ = std::current_exception();
    }
}

void TfrmSentrax::SetFieldText(QLineEdit* field, const QString& text)
{
    // The field's change handler runs inside setText, with Qt's frames in between: what it raises
    // is carried across them and raised here, so that it ends the calling handler as well. One
    // failure, one error box.
    std::exception_ptr raised;
    {
        const QScopedValueRollback carry(changeError_, &raised);
        field->setText(text);
    }
    if (raised)
        std::rethrow_exception(raised);
}

// --- Numbers and texts ------------------------------------------------------------------------

void TfrmSentrax::SetFirstContactLabel(long long firstContact)
{
    Label1->setText(QStringLiteral("S88 modulenumber: ") + ModuleAndInput(firstContact - 1));
    Label1->adjustSize(); // a label is as wide as its text
}

void TfrmSentrax::SetRangeText()
{
    const long long count = StrToInt(Edit2->text());
    const long long first = StrToInt(Edit1->text());
    const long long last = count + UpDown1->Position() - 1; // the last contact, from 0
    StaticText1->setText(QStringLiteral("Range: ") + ModuleAndInput(first - 1) + QStringLiteral(" - ")
                         + ModuleAndInput(last));
}

void TfrmSentrax::ShowInstructions(const QStringList& lines)
{
    Memo2->clear();
    for (const QString& line : lines)
        Memo2->AddLine(line);
    Memo2->moveCursor(QTextCursor::Start); // an instruction is read from its beginning
}

// --- Handlers ---------------------------------------------------------------------------------

void TfrmSentrax::FormActivate(QObject*)
{
    SetFieldText(Edit1, QString::number(UpDown1->Position() + 1));
    SetFirstContactLabel(UpDown1->Position() + 1);
    SetRangeText();
}

void TfrmSentrax::UpDown1Click(QObject* sender, TUDBtnType)
{
    FormActivate(sender);
}

void TfrmSentrax::Edit1Change(QObject*)
{
    if (Edit1->text().isEmpty())
        return;
    const long long first = StrToInt(Edit1->text());
    UpDown1->SetPosition(first - 1);
    SetFirstContactLabel(first);
}

void TfrmSentrax::UpDown2Click(QObject*, TUDBtnType)
{
    SetFieldText(Edit2, QString::number(UpDown2->Position()));
    if (UpDown2->Position() == 0)
        SetFieldText(Edit2, QStringLiteral("1"));
    SetRangeText();
}

void TfrmSentrax::Edit2Change(QObject*)
{
    if (UpDown2->Position() == 0)
        SetFieldText(Edit2, QStringLiteral("1")); // a different text runs this handler once more
    SetRangeText();
}

void TfrmSentrax::Button1Click(QObject*)
{
    ComPort1->ShowSettingsDialog();
    // The window was closed while the dialog was open (the program was asked to stop): nothing
    // more is opened.
    if (closed_)
        return;
    try {
        ComPort1->OpenPort();
    } catch (const EComPort&) {
        // The program was asked to stop while a network port was connecting, which ended that:
        // the window closes next, without a box about it.
        if (OpenCancelRequested())
            return;
        throw;
    }
    // Whatever is pending came from an earlier connection (or the line's noise at a wrong rate):
    // it cannot complete a message on this one, and would hold back every message behind it.
    link_->Reset();
    SetFlowControlForRate(*ComPort1);
    GroupBox4->setEnabled(true);
    GroupBox4->setVisible(true);
}

bool TfrmSentrax::ChooseVersion(bool withCurrentMonitor, const QStringList& instructions)
{
    GroupBox2->setEnabled(true);
    GroupBox2->setVisible(true);
    GroupBox4->setEnabled(false);
    if (withCurrentMonitor) {
        Button2->setVisible(true);
        Button3->setText(QStringLiteral("Current Monitor Off"));
        Button3->setVisible(true);
    } else {
        Button2->setVisible(false);
        Button3->setText(QStringLiteral("Start with Count On"));
    }
    // Replies to the start messages (slot data among them) are received and answered while
    // the rest is still being sent.
    link_->ForgetClaimedSlots();
    const bool wasConnected = ComPort1->Connected();
    for (const LocoNet::TMessage& message : VersionStartMessages) {
        SendLocoNetMessage(message);
        QCoreApplication::processEvents();
        // The port closed meanwhile (its adapter was pulled out: that was reported where it was
        // noticed), or the window did (its close box, or the program was asked to stop): the
        // rest of the sequence has nowhere to go.
        if ((wasConnected && !ComPort1->Connected()) || closed_)
            return false;
    }
    ShowInstructions(instructions);
    return true;
}

void TfrmSentrax::RadioButton1Click(QObject*)
{
    ChooseVersion(false, {kVersionOneInstruction});
}

void TfrmSentrax::RadioButton2Click(QObject*)
{
    ChooseVersion(true, kCurrentMonitorInstructions);
}

void TfrmSentrax::RadioButton3Click(QObject*)
{
    // Nothing arrived while the start messages went out: no command station answered.
    if (ChooseVersion(false, {kVersionOneInstruction}) && Memo1->LineCount() == 0) {
        for (const std::string_view line : LocoNet::NoConnectionLines)
            Memo1->AddLine(QString::fromLatin1(line.data(), qsizetype(line.size())));
    }
}

void TfrmSentrax::ProgramFirstContact(bool thrown)
{
    if (ComPort1->Connected())
        SendSwitchRequest(StrToInt(Edit1->text()), thrown);
    GroupBox2->setEnabled(false);
    GroupBox3->setVisible(true);
    GroupBox3->setEnabled(true);
    ShowInstructions({kRangeInstruction});
}

void TfrmSentrax::Button2Click(QObject*)
{
    ProgramFirstContact(false);
}

void TfrmSentrax::Button3Click(QObject*)
{
    ProgramFirstContact(true);
}

void TfrmSentrax::Button4Click(QObject*)
{
    if (ComPort1->Connected())
        SendSwitchRequest(StrToInt(Edit2->text()), true);
    GroupBox2->setVisible(false);
    GroupBox2->setEnabled(false);
    GroupBox4->setEnabled(true);
    GroupBox3->setVisible(false);
    GroupBox3->setEnabled(false);
    Memo2->clear();
    // Qt keeps one radio button of a group selected; clearing all of them needs the rule off.
    for (QRadioButton* button : {RadioButton1, RadioButton2, RadioButton3}) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
    Memo2->AddLine(kCloseInstruction);
}

void TfrmSentrax::Button5Click(QObject*)
{
    if (ComPort1->Connected())
        SendLocoNetMessage({LocoNet::OPC_GPOFF});
    QCoreApplication::processEvents();
    if (ComPort1->Connected())
        ComPort1->ClosePort();
    QCoreApplication::processEvents();
    frmSentrax->close();
}

void TfrmSentrax::Button6Click(QObject*)
{
    if (ComPort1->Connected())
        SendLocoNetMessage({LocoNet::OPC_GPON});
}

void TfrmSentrax::ComPort1RxChar(QObject*, int count)
{
    // Read what arrived, add it to PendingText as hex text, and run a pass over it.
    link_->Receive(count);
}

void InitializeUnitSentrax()
{
    PendingText.clear();
    WorkingText.clear();
}

void FinalizeUnitSentrax()
{
    std::string().swap(PendingText);
    std::string().swap(WorkingText);
}
