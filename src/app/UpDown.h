// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>

class QToolButton;

enum TUDBtnType { btNext, btPrev };

// A pair of arrows that step a position within Min..Max by Increment, tied to no field. Clicking
// an arrow reports OnClick only when the position changed.
class TUpDown : public QWidget {
    Q_OBJECT

public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Min() const { return min_; }
    int Max() const { return max_; }
    int Increment() const { return increment_; }
    int Position() const { return position_; }
    bool Wrap() const { return wrap_; }
    void SetMin(int value);
    void SetMax(int value);
    void SetIncrement(int value) { increment_ = value; }
    // A position outside Min..Max is held at the nearest bound.
    void SetPosition(long long value);
    void SetWrap(bool value) { wrap_ = value; }

    std::function<void(QObject* sender, TUDBtnType button)> OnClick;

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Step(TUDBtnType button);

    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
    int increment_ = 1;
    int position_ = 0;
    bool wrap_ = false;
};
