// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClientSocket.h"
#include "ComLed.h"
#include "CPort.h"
#include "LocoNetLink.h"
#include "Memo.h"
#include "UpDown.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TfrmSentrax;
}

// The configurator window. It leads the user through programming a Sentrax: open the LocoNet
// interface ("Settings"), choose the module version, program the first S88 contact and the
// number of contacts, then "Close". The workflow step is the set of visible and enabled group
// boxes; every number is read from the fields when it is needed.
class TfrmSentrax : public QWidget {
    Q_OBJECT

public:
    explicit TfrmSentrax(QWidget* parent = nullptr);
    ~TfrmSentrax() override;

    // The window's components and controls, in their declared order; the controls come from
    // the window's layout.
    TComPort* ComPort1;
    QGroupBox* GroupBox1;
    QPushButton* Button1;
    QGroupBox* GroupBox2;
    QPushButton* Button2;
    QPushButton* Button3;
    QLineEdit* Edit1;
    TUpDown* UpDown1;
    QPushButton* Button5;
    QGroupBox* GroupBox3;
    QPushButton* Button4;
    QLineEdit* Edit2;
    TUpDown* UpDown2;
    QLabel* Label1;
    QLabel* StaticText1;
    QLineEdit* Edit3;
    TMemo* Memo1;
    QLineEdit* Edit4;
    TComLed* ComLed1;
    TComLed* ComLed3;
    QLabel* Label2;
    QLabel* Label3;
    TMemo* Memo2;
    QGroupBox* GroupBox4;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QPushButton* Button6;
    TClientSocket* ClientSocket1;

    // The LocoNet link over ComPort1, shown in this window.
    TLocoNetLink& Link() { return *link_; }

    // Handlers, one per control event.
    void Button1Click(QObject* sender);
    void Button4Click(QObject* sender);
    void Button3Click(QObject* sender);
    void Button2Click(QObject* sender);
    void Button5Click(QObject* sender);
    void UpDown1Click(QObject* sender, TUDBtnType button);
    void FormActivate(QObject* sender);
    void UpDown2Click(QObject* sender, TUDBtnType button);
    void Edit1Change(QObject* sender);
    void ComPort1RxChar(QObject* sender, int count);
    void Edit2Change(QObject* sender);
    void RadioButton1Click(QObject* sender);
    void RadioButton2Click(QObject* sender);
    void RadioButton3Click(QObject* sender);
    void Button6Click(QObject* sender);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void TakeControls();
    void LoadStoredComponents();
    void ConnectHandlers();
    // False when the port closed while the start messages went out.
    bool ChooseVersion(bool withCurrentMonitor, const QStringList& instructions);
    void ProgramFirstContact(bool thrown);
    // Sets a field's text as a handler does: its change handler runs at once, and what that
    // raises is raised here.
    void SetFieldText(QLineEdit* field, const QString& text);
    void RunChangeHandler(const std::function<void()>& handler);
    void ShowInstructions(const QStringList& lines);
    void SetFirstContactLabel(long long firstContact);
    void SetRangeText();

    std::unique_ptr<Ui::TfrmSentrax> ui_;
    bool closed_ = false; // the program ends: a handler that is still sending stops
    std::exception_ptr* changeError_ = nullptr; // set while a handler sets a field's text
    std::unique_ptr<TLocoNetView> linkView_;
    std::unique_ptr<TLocoNetLink> link_;
};

// The one configurator window, from the start of its construction until it is destroyed.
extern TfrmSentrax* frmSentrax;

// The receive decoding's two text buffers: hex text not yet framed, and the text one pass scans.
extern std::string PendingText;
extern std::string WorkingText;

// The window module's start-up and shutdown: its text buffers start empty and are released.
void InitializeUnitSentrax();
void FinalizeUnitSentrax();
