// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesignScaling.h"

#include <QFontDatabase>
#include <QWidget>

#include <cmath>

namespace {
// "MS Sans Serif", or the first face with its metrics that the system has. Resolved once: a
// substituted family would be looked up again for every piece of text laid out.
const QString& FormFontFamily()
{
    static const QString family = [] {
        for (const char* candidate : {"MS Sans Serif", "Liberation Sans", "Arimo", "Arial"}) {
            if (QFontDatabase::hasFamily(QString::fromLatin1(candidate)))
                return QString::fromLatin1(candidate);
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

int Scaled(int value, double factor)
{
    return int(std::lround(value * factor));
}

void ScaleWidget(QWidget* widget, double factor)
{
    const QRect g = widget->geometry();
    widget->setGeometry(Scaled(g.x(), factor), Scaled(g.y(), factor), Scaled(g.width(), factor),
                        Scaled(g.height(), factor));
    if (widget->testAttribute(Qt::WA_SetFont) && widget->font().pixelSize() > 0) {
        QFont font = widget->font();
        font.setPixelSize(std::max(1, Scaled(font.pixelSize(), factor)));
        widget->setFont(font);
    }
    for (QObject* child : widget->children()) {
        if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow())
            ScaleWidget(w, factor);
    }
}
}

QFont DesignFont(int pixelHeight, bool bold)
{
    QFont font(FormFontFamily());
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

void ScaleDesignedForm(QWidget* form, int designDpi)
{
    const double factor = double(form->logicalDpiX()) / designDpi;
    if (std::abs(factor - 1.0) < 1e-6)
        return;
    ScaleWidget(form, factor);
}
