// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CPort.h"

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

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
