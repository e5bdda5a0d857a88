// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPlainTextEdit>
#include <QStringList>

// A multi-line text pane seen as a list of lines, as the window uses its panes.
class TMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

    // Adds a line at the end (the first line of an empty pane).
    void AddLine(const QString& line);
    // No text at all is no line; otherwise one line per paragraph.
    QStringList Lines();
    int LineCount();

    // Between these, added lines are collected and go into the pane in one edit when the
    // update ends, or as soon as anything reads the pane or an event reaches it, so nobody
    // sees the pane without them. Appending line by line costs a layout each.
    void BeginUpdate() { ++updating_; }
    void EndUpdate();

    // The pane keeps its newest lines, at most this many (0: all of them), and has no undo, as
    // a pane with QTextDocument's block limit would. The pane drops the oldest lines itself: the
    // document's own limit moves a cursor over the lines it drops (see Append()).
    void SetMaxLines(int lines);
    int MaxLines() const { return maxLines_; }

    // Lines added since the pane last renewed the blocks of the lines above its bottom, and how
    // many it waits for before it does (see Renew()).
    static constexpr int RenewEvery = 4096;
    // The newest lines are left alone: they are on view, or were a moment ago.
    static constexpr int KeptAtBottom = 256;

protected:
    bool event(QEvent* event) override;

private:
    void Flush();
    void Append(const QString& lines, int count);
    void DropOldest(bool atBottom);
    void Added(int lines);
    void Renew();
    void RenewBlocks(int first, int end);

    int updating_ = 0;
    QStringList pending_;
    int maxLines_ = 0;
    int addedSinceRenewal_ = 0;
};
