// SPDX-License-Identifier: GPL-3.0-or-later
#include "Memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <utility>

void TMemo::AddLine(const QString& line)
{
    if (updating_ > 0) {
        pending_ << line;
    } else {
        Append(line, 1);
    }
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
    const int count = int(pending_.size());
    pending_.clear();
    Append(lines, count);
}

void TMemo::SetMaxLines(int lines)
{
    maxLines_ = lines;
    if (lines > 0)
        document()->setUndoRedoEnabled(false);
    DropOldest(verticalScrollBar()->value() == verticalScrollBar()->maximum());
}

// As appendPlainText does, with one difference: appendPlainText moves a cursor from the first
// line to the end, and a cursor that moves lays out the line it leaves. When that line is the
// one Qt took for the pane's widest, Qt looks for a new widest line by asking every line for
// its layout, and so gives all of them one. A cursor placed inside an edit lays out nothing.
void TMemo::Append(const QString& lines, int count)
{
    QTextDocument* doc = document();
    QScrollBar* bar = verticalScrollBar();
    const bool atBottom = isVisible() && bar->value() == bar->maximum();
    QTextCursor end(doc);
    end.beginEditBlock();
    end.setPosition(doc->characterCount() - 1);
    if (!doc->isEmpty())
        end.insertBlock();
    end.insertText(lines);
    end.endEditBlock();
    DropOldest(atBottom);
    if (atBottom)
        bar->setValue(bar->maximum());
    Added(count);
}

// A view scrolled back stays on the lines it shows; one at the bottom stays there.
void TMemo::DropOldest(bool atBottom)
{
    QTextDocument* doc = document();
    const int excess = doc->blockCount() - maxLines_;
    if (maxLines_ <= 0 || excess <= 0)
        return;
    QScrollBar* bar = verticalScrollBar();
    const int shown = bar->value();
    QTextCursor cut(doc);
    cut.beginEditBlock();
    cut.setPosition(doc->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    cut.endEditBlock();
    if (!atBottom)
        bar->setValue(std::max(0, shown - excess));
}

// Qt lays out the lines at the bottom of a shown pane after every edit, and keeps a line's text
// layout (some 400 bytes, against some 200 for the line itself) until the line is removed. A pane
// that gets a few lines at a time, as the monitor pane does from a busy bus, would so hold a
// layout for every line it keeps. Once enough lines have passed, the pane replaces the blocks of
// those above its bottom with new ones of the same text, which have no layout until shown.
void TMemo::Added(int lines)
{
    addedSinceRenewal_ += lines;
    if (addedSinceRenewal_ >= RenewEvery)
        Renew();
}

void TMemo::Renew()
{
    QTextDocument* doc = document();
    // The replacement would be an edit the user could undo (a pane with a line limit has no
    // undo; one without it rarely gets this many lines).
    if (doc->isUndoRedoEnabled())
        return;
    const int end = doc->blockCount() - KeptAtBottom;
    const int first = std::max(0, end - addedSinceRenewal_);
    addedSinceRenewal_ = 0;
    if (first >= end)
        return;

    // Left alone: the lines on view (the user may have scrolled back into the range) and those
    // of the cursor and its selection, which a replacement would move.
    int shownLast = firstVisibleBlock().blockNumber();
    const qreal bottom = viewport()->rect().bottom();
    for (QTextBlock b = firstVisibleBlock(); b.isValid(); b = b.next()) {
        if (blockBoundingGeometry(b).translated(contentOffset()).top() > bottom)
            break;
        shownLast = b.blockNumber();
    }
    const QTextCursor cursor = textCursor();
    std::array<std::pair<int, int>, 2> kept{{
        {firstVisibleBlock().blockNumber(), shownLast},
        {doc->findBlock(cursor.selectionStart()).blockNumber(), doc->findBlock(cursor.selectionEnd()).blockNumber()},
    }};
    std::sort(kept.begin(), kept.end());
    int from = first;
    for (const auto& [keptFirst, keptLast] : kept) {
        if (keptFirst > from)
            RenewBlocks(from, std::min(keptFirst, end));
        from = std::max(from, keptLast + 1);
    }
    if (from < end)
        RenewBlocks(from, end);
}

// Blocks first up to end (excluded), in one edit with the same text: the block count, every
// position and what the pane shows stay as they were.
void TMemo::RenewBlocks(int first, int end)
{
    if (first >= end)
        return;
    QTextDocument* doc = document();
    const QTextBlock last = doc->findBlockByNumber(end - 1);
    // Positioned inside the edit, the cursor lays out nothing (outside, it would lay out the
    // block it lands on).
    QTextCursor renewal(doc->findBlockByNumber(first));
    renewal.beginEditBlock();
    renewal.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    const QString text = renewal.selectedText();
    // Characters that inserted text would turn into block breaks (a pasted carriage return)
    // would not come back as they were.
    if (!text.contains(u'\r') && !text.contains(u'\n') && !text.contains(QChar(0xFDD0)) && !text.contains(QChar(0xFDD1)))
        renewal.insertText(text);
    renewal.endEditBlock();
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
