// SPDX-License-Identifier: GPL-3.0-or-later
#include "CPortSetup.h"

#include "CPort.h"
#include "CPortCtl.h"
#include "DesignScaling.h"
#include "Exception.h"
#include "GnuGettext.h"
#include "ui_CPortSetup.h"

#include <QApplication>
#include <QPointer>
#include <QScreen>

TComSetupFrm::TComSetupFrm(QWidget* parent)
    : QDialog(parent)
    , ui_(std::make_unique<Ui::TComSetupFrm>())
{
    ui_->setupUi(this);
    setFont(DesignFont(11));
    ui_->Combo1->SetComProperty(cpPort);
    ui_->Combo2->SetComProperty(cpBaudRate);
    ui_->Combo3->SetComProperty(cpDataBits);
    ui_->Combo4->SetComProperty(cpStopBits);
    ui_->Combo5->SetComProperty(cpParity);
    ui_->Combo6->SetComProperty(cpFlowControl);
    connect(ui_->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->Button2, &QPushButton::clicked, this, &QDialog::reject);
    ScaleDesignedForm(this, 96);
    setFixedSize(size());
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

TComSetupFrm::~TComSetupFrm() = default;

void TComSetupFrm::FormCreate()
{
    // The lists hold setting values, which are never translated; every other text of the
    // dialog is looked up in the serial port's own text domain.
    if (!GlobalTranslator)
        return;
    for (const char* name : {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6"})
        GlobalTranslator->TP_Ignore(this, QString::fromLatin1(name));
    GlobalTranslator->TranslateComponentTree(this, QStringLiteral("cport"));
}

TComComboBox* TComSetupFrm::Combo(int number) const
{
    TComComboBox* const combos[] = {ui_->Combo1, ui_->Combo2, ui_->Combo3, ui_->Combo4, ui_->Combo5, ui_->Combo6};
    return combos[number - 1];
}

namespace {
void ShowSettingsDialogFor(TCustomComPort& port)
{
    // Focus goes back to the window that had it when the dialog closes. Window managers do that
    // for a dialog they know belongs to a window; this one has no owner, so it is done here.
    const QPointer<QWidget> previous = QApplication::activeWindow();
    TComSetupFrm dialog;
    for (int i = 1; i <= 6; ++i)
        dialog.Combo(i)->SetComPort(&port);
    for (int i = 1; i <= 6; ++i)
        dialog.Combo(i)->ShowCurrentValue();
    const int result = dialog.exec();
    dialog.hide();
    if (previous)
        previous->activateWindow();
    if (result != QDialog::Accepted)
        return;
    // One settings update: an open port receives every changed setting at once. The update is
    // ended also when a setting fails, or the port would never apply a setting again.
    port.BeginSettingsUpdate();
    try {
        for (int i = 1; i <= 6; ++i)
            dialog.Combo(i)->ApplyChoice();
    } catch (...) {
        Guarded([&port] { port.EndSettingsUpdate(); });
        throw;
    }
    port.EndSettingsUpdate();
}
TSettingsDialog gPreviousDialog = nullptr;
} // namespace

void InitializeCPortSetup()
{
    gPreviousDialog = SetSettingsDialog(&ShowSettingsDialogFor);
}

void FinalizeCPortSetup()
{
    SetSettingsDialog(gPreviousDialog);
}
