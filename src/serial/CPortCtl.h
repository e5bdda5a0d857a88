#pragma once

#include "CPort.h"

#include <QComboBox>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Controls that follow a port: a drop-down list bound to one of its settings, and a signal LED.

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

enum TComLedSignal { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx };
enum TLedKind { lkRedLight, lkGreenLight, lkBlueLight, lkYellowLight, lkPurpleLight, lkBulb, lkCustom };
enum TLedState { lsOff, lsOn };

// A small lamp showing one signal of a port: lit or dark, in one of six pictures (or two of the
// user's own). It attaches a link to the port, through which the port switches it.
class TComLed : public QWidget {
    Q_OBJECT

public:
    explicit TComLed(QWidget* parent = nullptr);
    ~TComLed() override;

    TCustomComPort* ComPort() const { return port_; }
    void SetComPort(TCustomComPort* port);
    TComLedSignal LedSignal() const { return signal_; }
    void SetLedSignal(TComLedSignal value);
    TLedKind Kind() const { return kind_; }
    void SetKind(TLedKind value);
    const QPixmap& GlyphOn() const { return on_; }
    const QPixmap& GlyphOff() const { return off_; }
    // Only for lkCustom; ignored for the built-in kinds.
    void SetGlyphOn(const QPixmap& picture);
    void SetGlyphOff(const QPixmap& picture);
    TLedState State() const { return state_; }
    // Raises EComPort reason 19 while a port is bound: the port decides then.
    void SetState(TLedState value);
    int RingDuration() const { return ringTimer_.interval(); }
    void SetRingDuration(int milliseconds) { ringTimer_.setInterval(milliseconds); }

    std::function<void(QObject* sender, TLedState state)> OnChange;

    void BeginLoading() { loading_ = true; }
    void Loaded() { loading_ = false; }

    QSize sizeHint() const override { return {25, 25}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ChangeState(TLedState value);
    void LinkOnOff(bool on);
    void LinkRing();
    void LoadPictures();

    TComLink link_;
    QPointer<TCustomComPort> port_;
    QMetaObject::Connection destroying_;
    TComLedSignal signal_ = lsConn;
    TLedKind kind_ = lkRedLight;
    QPixmap on_;
    QPixmap off_;
    TLedState state_ = lsOff;
    QTimer ringTimer_;
    bool loading_ = false;
};
