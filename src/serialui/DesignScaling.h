// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

class QWidget;

// Forms are laid out in pixels at the resolution they were designed at. When a form loads, every
// position, size and pixel font height is scaled by the screen's logical resolution over that
// design resolution.
void ScaleDesignedForm(QWidget* form, int designDpi);

// The forms' font, "MS Sans Serif", at a pixel height of the design resolution. Where the
// system lacks that face, a face with its metrics (Liberation Sans, Arimo, Arial) stands in, so
// captions keep to the room their controls were designed with.
QFont DesignFont(int pixelHeight, bool bold = false);
