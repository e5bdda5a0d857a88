// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>

// Runs `action` on the next modal window that shows up (a dialog or an error box), from inside
// its event loop, as a user would act on it. Gives up after timeoutMs.
void WhenModalShows(std::function<void(QWidget*)> action, int timeoutMs = 10000);

class QComboBox;
// Chooses an item of a drop-down list the way a user does, from the keyboard.
void ChooseComboItem(QComboBox* combo, const QString& text);

// Clicks the button of a dialog or message box whose text is `text`.
void ClickButton(QWidget* window, const QString& text);
