#pragma once

// The read-only multi-line box of a template: a text of any length whose
// lines end with CR LF (a lone CR or LF also ends a line on screen), shown
// unwrapped, selectable with the mouse and the keys and copied with Ctrl+C
// or its context menu. It keeps the exact text it was given, so that the
// text read back is what was set and appended, character for character.
// Only the lines in view are laid out and drawn, and appending costs time
// in what is appended alone: a box of millions of lines takes more as fast
// as one of ten. Control characters in a line are drawn as their visible
// pictures (U+2400 on), so that a name cannot hide in the box.

#include "ui/framework/line_text.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>

class QTextLayout;

namespace korvane::ui {

class MultiLineEdit : public QAbstractScrollArea {
public:
    explicit MultiLineEdit(QWidget* parent = nullptr);

    const QString& windowText() const { return lines_.text(); }
    // Replaces the text and shows its beginning, the caret at its start.
    void setWindowText(const QString& text);
    // Adds to the end of the text; the view, the caret and the selection
    // stay where they are.
    void appendWindowText(const QString& text);
    // Room for a text of `chars` characters (see LineText::reserve).
    void reserve(qsizetype chars) { lines_.reserve(chars); }

    // The lines as the box shows them.
    qsizetype lineCount() const { return lines_.lineCount(); }
    QString shownLine(qsizetype line) const { return lines_.shownLine(line); }
    // The first line in view.
    qsizetype firstShownLine() const;

    // The caret and the other end of the selection, as positions in windowText().
    qsizetype cursorPosition() const { return position_; }
    qsizetype anchorPosition() const { return anchor_; }
    void setSelection(qsizetype anchor, qsizetype position);
    void selectAll();
    // The selection, its line ends as LF: as the desktop's programs take text.
    QString selectedText() const;
    // The selection onto the clipboard.
    void copy() const;

    // How often the text was set or appended to; for tests.
    int textChanges() const { return textChanges_; }

protected:
    // With the focus the frame is drawn in the highlight colour, so that a
    // read-only box shows it has the focus also where its caret is hard to see.
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // `line` laid out in the box's font, as drawn.
    void layOut(QTextLayout& layout, qsizetype line) const;
    qsizetype visibleLines() const;
    QPoint lineOrigin(qsizetype line) const;
    // The position nearest to `point` of the viewport.
    qsizetype positionAt(const QPoint& point) const;
    // Moves the caret as a key asks; false for a key that does not move it.
    bool moveCaret(QKeyEvent* event);
    void moveTo(qsizetype position, bool select);
    void ensureCaretVisible();
    void measureLongestLine();
    void widen(int textWidth);
    void updateScrollBars();
    void restartBlink();
    void drawLine(QPainter& painter, qsizetype line, qsizetype from, qsizetype to);

    LineText lines_;
    qsizetype position_ = 0;
    qsizetype anchor_ = 0;
    int desiredX_ = -1; // where Up and Down keep the caret; -1: where it is
    int lineHeight_ = 1;
    int contentWidth_ = 0; // the widest line measured so far
    int textChanges_ = 0;
    bool dragging_ = false;
    bool caretShown_ = false;
    QBasicTimer blink_;
    QBasicTimer dragScroll_;
};

} // namespace korvane::ui
