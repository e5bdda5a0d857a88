#include "DesignScaling.h"

#include <QFontDatabase>
#include <QWidget>

#include <cmath>

namespace {
void RegisterSubstitutes()
{
    static const bool registered = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)registered;
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
    RegisterSubstitutes();
    QFont font(QStringLiteral("MS Sans Serif"));
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
