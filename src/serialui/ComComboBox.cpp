// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComComboBox.h"

#include "PortNames.h"

#include <QAbstractItemView>

// --- TComSelect -------------------------------------------------------------------------------

void TComSelect::FillItems(TComProperty property)
{
    property_ = property;
    items_.clear();
    switch (property) {
    case cpNone:
        break;
    case cpPort:
        for (const TPortInfo& port : ListPortNames()) {
            items_.addItem(port.Name);
            if (!port.Description.isEmpty())
                items_.setItemData(items_.count() - 1, port.Description, Qt::ToolTipRole);
        }
        // A path can be longer than the list is wide; the opened list shows it whole.
        items_.view()->setMinimumWidth(items_.view()->sizeHintForColumn(0) + 2 * items_.view()->frameWidth());
        break;
    case cpBaudRate:
        items_.addItems(BaudRateTexts());
        break;
    case cpDataBits:
        items_.addItems(DataBitsTexts());
        break;
    case cpStopBits:
        items_.addItems(StopBitsTexts());
        break;
    case cpParity:
        items_.addItems(ParityTexts());
        break;
    case cpFlowControl:
        items_.addItems(FlowControlTexts());
        break;
    }
    if (items_.count() == 0)
        return;
    if (port_)
        ShowCurrentValue();
    else
        items_.setCurrentIndex(0);
}

QString TComSelect::CurrentValueText() const
{
    switch (property_) {
    case cpPort: return port_->Port();
    case cpBaudRate: return BaudRateToText(port_->BaudRate());
    case cpDataBits: return DataBitsToText(port_->DataBits());
    case cpStopBits: return StopBitsToText(port_->StopBits());
    case cpParity: return ParityToText(port_->Parity().Bits());
    case cpFlowControl: return FlowControlToText(port_->FlowControl().FlowControl());
    case cpNone: break;
    }
    return {};
}

void TComSelect::ShowCurrentValue()
{
    if (!port_ || property_ == cpNone)
        return;
    const int index = items_.findText(CurrentValueText(), Qt::MatchFixedString);
    if (index >= 0)
        Choose(items_.itemText(index));
    items_.setCurrentIndex(index);
}

void TComSelect::Choose(const QString& text)
{
    switch (property_) {
    case cpPort: portName_ = text; break;
    case cpBaudRate: baudRate_ = TextToBaudRate(text); break;
    case cpDataBits: dataBits_ = TextToDataBits(text); break;
    case cpStopBits: stopBits_ = TextToStopBits(text); break;
    case cpParity: parity_ = TextToParity(text); break;
    case cpFlowControl: flowControl_ = TextToFlowControl(text); break;
    case cpNone: break;
    }
}

void TComSelect::ApplyChoice()
{
    if (!port_)
        return;
    switch (property_) {
    case cpPort: port_->SetPort(portName_); break;
    case cpBaudRate: port_->SetBaudRate(baudRate_); break;
    case cpDataBits: port_->SetDataBits(dataBits_); break;
    case cpStopBits: port_->SetStopBits(stopBits_); break;
    case cpParity: port_->Parity().SetBits(parity_); break;
    case cpFlowControl: port_->FlowControl().SetFlowControl(flowControl_); break;
    case cpNone: break;
    }
}

// --- TComComboBox -----------------------------------------------------------------------------

TComComboBox::TComComboBox(QWidget* parent)
    : QComboBox(parent)
    , select_(*this)
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, &TComComboBox::UserSelected);
}

TComComboBox::~TComComboBox()
{
    disconnect(destroying_);
}

void TComComboBox::SetComPort(TCustomComPort* port)
{
    if (port == select_.ComPort())
        return;
    disconnect(destroying_);
    select_.SetComPort(port);
    if (port) {
        destroying_ = connect(port, &TCustomComPort::Destroying, this, &TComComboBox::PortDestroying);
        select_.ShowCurrentValue();
    }
}

void TComComboBox::PortDestroying()
{
    disconnect(destroying_);
    select_.SetComPort(nullptr);
    if (count() > 0)
        setCurrentIndex(0);
}

void TComComboBox::SetComProperty(TComProperty property)
{
    select_.FillItems(property);
}

void TComComboBox::UserSelected(int index)
{
    select_.Choose(index >= 0 ? itemText(index) : QString());
    if (select_.AutoApply())
        select_.ApplyChoice();
}

QString TComComboBox::Text() const
{
    return currentIndex() >= 0 ? itemText(currentIndex()) : QString();
}

void TComComboBox::SetText(const QString& text)
{
    const int index = findText(text, Qt::MatchFixedString);
    if (index >= 0)
        setCurrentIndex(index);
}
