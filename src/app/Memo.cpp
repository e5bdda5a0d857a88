#include "Memo.h"

#include <QTextBlock>
#include <QTextDocument>

void TMemo::AddLine(const QString& line)
{
    appendPlainText(line);
}

QStringList TMemo::Lines() const
{
    const QString text = toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

int TMemo::LineCount() const
{
    return document()->isEmpty() ? 0 : document()->blockCount();
}
