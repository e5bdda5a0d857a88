// SPDX-License-Identifier: GPL-3.0-or-later
#include "Memo.h"

#include <QTextDocument>

void TMemo::AddLine(const QString& line)
{
    if (updating_ > 0)
        pending_ << line;
    else
        appendPlainText(line);
}

void TMemo::EndUpdate()
{
    if (updating_ > 0 && --updating_ == 0)
        Flush();
}

void TMemo::Flush()
{
    if (pending_.isEmpty())
        return;
    const QString lines = pending_.join(u'\n');
    pending_.clear();
    appendPlainText(lines);
}

bool TMemo::event(QEvent* event)
{
    Flush();
    return QPlainTextEdit::event(event);
}

QStringList TMemo::Lines()
{
    Flush();
    const QString text = toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

int TMemo::LineCount()
{
    Flush();
    return document()->isEmpty() ? 0 : document()->blockCount();
}
