// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CPort.h"

#include <QComboBox>
#include <QPointer>

enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// What a bound list carries: the port, the setting, and the value last chosen for each kind of
// setting, written to the port by ApplyChoice.
class TComSelect {
public:
    explicit TComSelect(QComboBox& items) : items_(items) {}

    TCustomComPort* ComPort() const { return port_; }
    void SetComPort(TCustomComPort* port) { port_ = port; }
    TComProperty ComProperty() const { return property_; }
    bool AutoApply() const { return autoApply_; }
    void SetAutoApply(bool value) { autoApply_ = value; }

    // Clears the list and fills it with the values of the setting.
    void FillItems(TComProperty property);
    // Selects the item equal to the port's current value (ignoring case), or none.
    void ShowCurrentValue();
    // Stores the text of a chosen item as the carried choice.
    void Choose(const QString& text);
    // Writes the carried choice into the port's setting.
    void ApplyChoice();

    QString ChosenPort() const { return portName_; }

private:
    QString CurrentValueText() const;

    QComboBox& items_;
    QPointer<TCustomComPort> port_;
    TComProperty property_ = cpNone;
    bool autoApply_ = false;
    // The carried choices start at their zero values.
    QString portName_;
    TBaudRate baudRate_ = brCustom;
    TDataBits dataBits_ = dbFive;
    TStopBits stopBits_ = sbOneStopBit;
    TParityBits parity_ = prNone;
    TFlowControl flowControl_ = fcHardware;
};

// A drop-down list (no edit field) bound to one setting of a port: it lists the setting's values,
// shows the port's value, and writes the chosen one back on ApplyChoice (at once with AutoApply).
class TComComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)

public:
    explicit TComComboBox(QWidget* parent = nullptr);
    ~TComComboBox() override;

    TCustomComPort* ComPort() const { return select_.ComPort(); }
    void SetComPort(TCustomComPort* port);
    TComProperty ComProperty() const { return select_.ComProperty(); }
    void SetComProperty(TComProperty property);
    bool AutoApply() const { return select_.AutoApply(); }
    void SetAutoApply(bool value) { select_.SetAutoApply(value); }
    // The selected item's text, or empty when none is selected. Setting a text selects the item
    // equal to it (ignoring case); a text not in the list is ignored.
    QString Text() const;
    void SetText(const QString& text);

    void ShowCurrentValue() { select_.ShowCurrentValue(); }
    void ApplyChoice() { select_.ApplyChoice(); }

private:
    void UserSelected(int index);
    void PortDestroying();

    TComSelect select_;
    QMetaObject::Connection destroying_;
};
