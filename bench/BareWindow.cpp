// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for the configurator's start-up: a bare Qt window of the same size, built the
// same way, that does nothing else. With --with-text it shows one label, which makes Qt load its
// font database, as any window that shows text does.

#include <QApplication>
#include <QLabel>
#include <QStyleFactory>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare Qt window"));
    window.setFixedSize(554, 418);
    if (QApplication::arguments().contains(QStringLiteral("--with-text")))
        (new QLabel(QStringLiteral("Set Comport and Baudrate"), &window))->move(40, 30);
    window.show();
    return QApplication::exec();
}
