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
    QStringList Lines() const;
    int LineCount() const;
};
