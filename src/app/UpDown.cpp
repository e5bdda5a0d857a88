// SPDX-License-Identifier: GPL-3.0-or-later
#include "UpDown.h"

#include "Exception.h"

#include <QKeyEvent>
#include <QToolButton>

#include <algorithm>

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent)
    , up_(new QToolButton(this))
    , down_(new QToolButton(this))
{
    setFocusPolicy(Qt::TabFocus);
    for (QToolButton* arrow : {up_, down_}) {
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setAutoRepeat(true);
        arrow->setAutoRepeatDelay(400);
        arrow->setAutoRepeatInterval(100);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    // A handler that raises must not unwind into the button's own signal machinery.
    connect(up_, &QToolButton::clicked, this, [this] { Guarded([this] { Step(btNext); }); });
    connect(down_, &QToolButton::clicked, this, [this] { Guarded([this] { Step(btPrev); }); });
}

void TUpDown::SetMin(int value)
{
    min_ = value;
    SetPosition(position_);
}

void TUpDown::SetMax(int value)
{
    max_ = value;
    SetPosition(position_);
}

void TUpDown::SetPosition(long long value)
{
    position_ = int(std::clamp<long long>(value, min_, max_));
}

void TUpDown::Step(TUDBtnType button)
{
    long long next = position_ + (button == btNext ? increment_ : -increment_);
    if (wrap_ && next > max_)
        next = min_;
    else if (wrap_ && next < min_)
        next = max_;
    const int before = position_;
    SetPosition(next);
    if (position_ != before && OnClick)
        OnClick(this, button);
}

QSize TUpDown::sizeHint() const
{
    return {17, 22};
}

void TUpDown::resizeEvent(QResizeEvent*)
{
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

void TUpDown::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up)
        Guarded([this] { Step(btNext); });
    else if (event->key() == Qt::Key_Down)
        Guarded([this] { Step(btPrev); });
    else
        QWidget::keyPressEvent(event);
}
