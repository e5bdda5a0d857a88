#include "CPortCtl.h"

#include "EComPort.h"
#include "PortNames.h"

#include <QBitmap>
#include <QEvent>
#include <QImage>
#include <QAbstractItemView>
#include <QPainter>

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

// --- TComLed ----------------------------------------------------------------------------------

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
