// SPDX-License-Identifier: GPL-3.0-or-later
#include "IntLocoNet.h"

#include "UnitSentrax.h"

#include <QApplication>

#include <utility>

void SendLocoNetMessage(const LocoNet::TMessage& message)
{
    frmSentrax->Link().SendMessage(message);
}

void SendSwitchRequest(int address, bool thrown)
{
    frmSentrax->Link().SendSwitchRequest(address, thrown);
}

void ParseLocoNetText(const std::string& text)
{
    frmSentrax->Link().Parse(text);
}

bool VerifyLocoNetMessage(const std::string& message)
{
    return frmSentrax->Link().Verify(message);
}

void ShowInputReport(const std::string& message)
{
    frmSentrax->Link().ShowInputReport(message);
}

void HandleSlotData(const std::string& message)
{
    frmSentrax->Link().HandleSlotData(message);
}

// A pass adds its lines to the monitor pane in one edit when it ends, and the contact fields
// take its last report then: laying the panes out after every line costs far more, in a burst,
// than the decoding, and nothing reads the fields in between.
void TWindowLocoNetView::PassBegins()
{
    inPass_ = true;
    form_.Memo1->BeginUpdate();
}

void TWindowLocoNetView::PassEnds()
{
    inPass_ = false;
    if (lastReport_)
        ShowContact(*std::exchange(lastReport_, std::nullopt));
    form_.Memo1->EndUpdate();
}

void TWindowLocoNetView::AddLine(std::string_view line)
{
    form_.Memo1->AddLine(QString::fromLatin1(line.data(), qsizetype(line.size())));
}

void TWindowLocoNetView::ShowInputReport(const LocoNet::TInputReport& report)
{
    if (inPass_)
        lastReport_ = report;
    else
        ShowContact(report);
}

void TWindowLocoNetView::ShowContact(const LocoNet::TInputReport& report)
{
    form_.Edit3->setText(QString::number(report.Contact));
    form_.Edit4->setText(QString::number(report.Level));
}

void TWindowLocoNetView::Beep()
{
    QApplication::beep();
}

void TWindowLocoNetView::ProcessPending()
{
    QCoreApplication::processEvents();
}
