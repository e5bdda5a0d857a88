// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComLed.h"

#include "EComPort.h"

#include <QBitmap>
#include <QEvent>
#include <QImage>
#include <QPainter>

// Outside any namespace: the resource initialiser is a global function.
static void InitLedPictures()
{
    Q_INIT_RESOURCE(leds); // the pictures live in this static library
}

namespace {
const char* const kPictureNames[][2] = {
    {"LEDREDON", "LEDREDOFF"},       {"LEDGREENON", "LEDGREENOFF"},   {"LEDBLUEON", "LEDBLUEOFF"},
    {"LEDYELLOWON", "LEDYELLOWOFF"}, {"LEDPURPLEON", "LEDPURPLEOFF"}, {"LEDBULBON", "LEDBULBOFF"},
};

QPixmap LedPicture(const char* name)
{
    InitLedPictures();
    return QPixmap(QStringLiteral(":/leds/%1.xpm").arg(QLatin1String(name)), "XPM");
}

// The picture's bottom-left pixel is its transparent colour.
QPixmap WithAutomaticTransparency(const QPixmap& picture)
{
    if (picture.isNull())
        return picture;
    QPixmap result = picture;
    const QColor transparent = picture.toImage().pixelColor(0, picture.height() - 1);
    result.setMask(picture.createMaskFromColor(transparent, Qt::MaskInColor));
    return result;
}
}

TComLed::TComLed(QWidget* parent)
    : QWidget(parent)
{
    resize(25, 25);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoSystemBackground);
    link_.OnConn = [this](bool on) { LinkOnOff(on); };
    ringTimer_.setInterval(1000);
    ringTimer_.setSingleShot(false);
    connect(&ringTimer_, &QTimer::timeout, this, [this] {
        ringTimer_.stop();
        ChangeState(lsOff);
    });
    LoadPictures();
}

TComLed::~TComLed()
{
    ringTimer_.stop();
    SetComPort(nullptr);
}

void TComLed::SetComPort(TCustomComPort* port)
{
    if (port == port_)
        return;
    if (port_) {
        disconnect(destroying_);
        port_->DetachLink(&link_);
    }
    port_ = port;
    if (!port) {
        ChangeState(lsOff);
        return;
    }
    destroying_ = connect(port, &TCustomComPort::Destroying, this, [this] { SetComPort(nullptr); });
    port->AttachLink(&link_);
    if (!port->Connected() || loading_)
        return;
    switch (signal_) {
    case lsConn: ChangeState(lsOn); break;
    case lsCTS: ChangeState(port->LineSignals().Contains(csCTS) ? lsOn : lsOff); break;
    case lsDSR: ChangeState(port->LineSignals().Contains(csDSR) ? lsOn : lsOff); break;
    case lsRLSD: ChangeState(port->LineSignals().Contains(csRLSD) ? lsOn : lsOff); break;
    case lsRing:
    case lsRx:
    case lsTx: ChangeState(lsOff); break;
    }
}

void TComLed::SetLedSignal(TComLedSignal value)
{
    if (value == signal_)
        return;
    signal_ = value;
    link_.OnConn = nullptr;
    link_.OnCTSChange = nullptr;
    link_.OnDSRChange = nullptr;
    link_.OnRLSDChange = nullptr;
    link_.OnRing = nullptr;
    link_.OnTx = nullptr;
    link_.OnRx = nullptr;
    const auto onOff = [this](bool on) { LinkOnOff(on); };
    switch (value) {
    case lsConn: link_.OnConn = onOff; break;
    case lsCTS: link_.OnCTSChange = onOff; break;
    case lsDSR: link_.OnDSRChange = onOff; break;
    case lsRLSD: link_.OnRLSDChange = onOff; break;
    case lsRx: link_.OnRx = onOff; break;
    case lsTx: link_.OnTx = onOff; break;
    case lsRing: link_.OnRing = [this] { LinkRing(); }; break;
    }
}

void TComLed::SetKind(TLedKind value)
{
    if (value == kind_)
        return;
    kind_ = value;
    LoadPictures();
    update();
}

void TComLed::LoadPictures()
{
    if (kind_ == lkCustom)
        return;
    on_ = LedPicture(kPictureNames[kind_][0]);
    off_ = LedPicture(kPictureNames[kind_][1]);
}

void TComLed::SetGlyphOn(const QPixmap& picture)
{
    if (kind_ != lkCustom)
        return;
    on_ = WithAutomaticTransparency(picture);
    update();
}

void TComLed::SetGlyphOff(const QPixmap& picture)
{
    if (kind_ != lkCustom)
        return;
    off_ = WithAutomaticTransparency(picture);
    update();
}

void TComLed::SetState(TLedState value)
{
    if (port_)
        throw EComPort(erLedState);
    ChangeState(value);
}

void TComLed::ChangeState(TLedState value)
{
    state_ = value;
    if (!loading_ && OnChange)
        OnChange(this, value);
    update();
}

void TComLed::LinkOnOff(bool on)
{
    ChangeState(on ? lsOn : lsOff);
    // Show the change now: the port goes on with its next step (and the window may stay busy
    // sending) before the event loop would get to paint it.
    repaint();
}

void TComLed::LinkRing()
{
    // A ring while lit does not restart the timer: the lamp goes dark RingDuration after the
    // ring that lit it.
    if (!ringTimer_.isActive())
        ringTimer_.start();
    ChangeState(lsOn);
}

void TComLed::paintEvent(QPaintEvent*)
{
    if (on_.isNull() || off_.isNull())
        LoadPictures();
    const QPixmap& picture = isEnabled() && state_ == lsOn ? on_ : off_;
    if (picture.isNull())
        return;
    QPainter painter(this);
    const int x = std::max(0, (width() - picture.width()) / 2);
    const int y = std::max(0, (height() - picture.height()) / 2);
    painter.drawPixmap(x, y, picture);
}

void TComLed::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}
