#include "ui/framework/multi_line_edit.h"

#include "ui/framework/modals.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

namespace korvane::ui {

namespace {

// Between the frame and the text, as a text document's margin.
constexpr int kMargin = 4;
// How often a drag past the edge scrolls on.
constexpr int kDragScrollMs = 50;

int toInt(qsizetype n)
{
    return static_cast<int>(std::clamp<qsizetype>(n, INT_MIN, INT_MAX));
}

// Division that rounds towards minus infinity.
qsizetype floorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

MultiLineEdit::MultiLineEdit(QWidget* parent) : QAbstractScrollArea(parent)
{
    viewport()->setCursor(Qt::IBeamCursor);
    lineHeight_ = std::max(1, fontMetrics().lineSpacing());
    updateScrollBars();
}

qsizetype MultiLineEdit::firstShownLine() const
{
    return verticalScrollBar()->value();
}

void MultiLineEdit::setWindowText(const QString& text)
{
    lines_.clear();
    lines_.append(text);
    ++textChanges_;
    position_ = anchor_ = 0;
    desiredX_ = -1;
    contentWidth_ = 0;
    measureLongestLine();
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void MultiLineEdit::appendWindowText(const QString& text)
{
    if (text.isEmpty())
        return;
    const qsizetype lastBefore = lines_.lineCount() - 1;
    lines_.append(text);
    ++textChanges_;
    measureLongestLine();
    updateScrollBars();
    // Lines added below the view show only in the scroll bar.
    if (lastBefore <= firstShownLine() + visibleLines())
        viewport()->update();
}

void MultiLineEdit::setSelection(qsizetype anchor, qsizetype position)
{
    anchor_ = std::clamp<qsizetype>(anchor, 0, lines_.size());
    position_ = std::clamp<qsizetype>(position, 0, lines_.size());
    desiredX_ = -1;
    ensureCaretVisible();
    viewport()->update();
}

void MultiLineEdit::selectAll()
{
    anchor_ = 0;
    position_ = lines_.size();
    viewport()->update();
}

QString MultiLineEdit::selectedText() const
{
    const qsizetype from = std::min(anchor_, position_);
    QString text = lines_.text().mid(from, std::max(anchor_, position_) - from);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void MultiLineEdit::copy() const
{
    if (anchor_ != position_)
        QGuiApplication::clipboard()->setText(selectedText());
}

void MultiLineEdit::layOut(QTextLayout& layout, qsizetype line) const
{
    layout.setText(lines_.shownLine(line));
    layout.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
}

qsizetype MultiLineEdit::visibleLines() const
{
    return std::max(1, (viewport()->height() - kMargin) / lineHeight_);
}

QPoint MultiLineEdit::lineOrigin(qsizetype line) const
{
    return QPoint(kMargin - horizontalScrollBar()->value(), kMargin + toInt(line - firstShownLine()) * lineHeight_);
}

qsizetype MultiLineEdit::positionAt(const QPoint& point) const
{
    const qsizetype line = std::clamp<qsizetype>(firstShownLine() + floorDiv(point.y() - kMargin, lineHeight_), 0,
                                                 lines_.lineCount() - 1);
    QTextLayout layout;
    layOut(layout, line);
    const int column = layout.lineAt(0).xToCursor(point.x() - kMargin + horizontalScrollBar()->value());
    return lines_.lineStart(line) + std::clamp<qsizetype>(column, 0, lines_.lineEnd(line) - lines_.lineStart(line));
}

void MultiLineEdit::measureLongestLine()
{
    widen(QFontMetrics(font()).horizontalAdvance(lines_.shownLine(lines_.longestLine())));
}

void MultiLineEdit::widen(int textWidth)
{
    if (textWidth <= contentWidth_)
        return;
    contentWidth_ = textWidth;
    updateScrollBars();
}

void MultiLineEdit::updateScrollBars()
{
    const qsizetype visible = visibleLines();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, toInt(std::max<qsizetype>(0, lines_.lineCount() - visible)));
    vertical->setPageStep(toInt(visible));
    vertical->setSingleStep(1);
    // Room for the caret after the widest line.
    const int room = std::max(1, viewport()->width() - 2 * kMargin);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, contentWidth_ + 1 - room));
    horizontal->setPageStep(room);
    horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
}

void MultiLineEdit::drawLine(QPainter& painter, qsizetype line, qsizetype from, qsizetype to)
{
    QTextLayout layout;
    layOut(layout, line);
    const QPoint origin = lineOrigin(line);
    const qsizetype start = lines_.lineStart(line);
    const qsizetype end = lines_.lineEnd(line);
    QList<QTextLayout::FormatRange> selection;
    if (from < to && from <= end && to > start) {
        QTextLayout::FormatRange range;
        range.start = toInt(std::max(from, start) - start);
        range.length = toInt(std::min(to, end) - start) - range.start;
        range.format.setBackground(palette().brush(QPalette::Highlight));
        range.format.setForeground(palette().brush(QPalette::HighlightedText));
        if (range.length > 0)
            selection.append(range);
        // A selected line end shows as a space's width after the text.
        if (to > end) {
            const qreal x = origin.x() + layout.lineAt(0).naturalTextWidth();
            painter.fillRect(QRectF(x, origin.y(), fontMetrics().horizontalAdvance(QLatin1Char(' ')), lineHeight_),
                             palette().brush(QPalette::Highlight));
        }
    }
    layout.draw(&painter, origin, selection);
    if (caretShown_ && hasFocus() && lines_.lineOf(position_) == line)
        layout.drawCursor(&painter, origin, toInt(position_ - start), 1);
    widen(static_cast<int>(std::ceil(layout.lineAt(0).naturalTextWidth())));
}

void MultiLineEdit::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const qsizetype first = firstShownLine();
    // The line partly in view at the bottom as well.
    const qsizetype last = std::min(lines_.lineCount(), first + visibleLines() + 1);
    const qsizetype from = std::min(anchor_, position_);
    const qsizetype to = std::max(anchor_, position_);
    for (qsizetype line = first; line < last; ++line)
        drawLine(painter, line, from, to);
}

void MultiLineEdit::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void MultiLineEdit::scrollContentsBy(int, int)
{
    viewport()->update();
}

void MultiLineEdit::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        lineHeight_ = std::max(1, fontMetrics().lineSpacing());
        contentWidth_ = 0;
        measureLongestLine();
        updateScrollBars();
        viewport()->update();
    }
}

bool MultiLineEdit::event(QEvent* event)
{
    // The frame is painted here, the text by the viewport inside it.
    const bool handled = QAbstractScrollArea::event(event);
    if (event->type() == QEvent::Paint && hasFocus() && frameWidth() > 0) {
        QPainter painter(this);
        QPen pen(palette().color(QPalette::Highlight));
        pen.setWidth(frameWidth());
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        const int inset = frameWidth() / 2;
        painter.drawRect(rect().adjusted(inset, inset, -inset - 1 + frameWidth() % 2, -inset - 1 + frameWidth() % 2));
    }
    return handled;
}

void MultiLineEdit::moveTo(qsizetype position, bool select)
{
    position_ = std::clamp<qsizetype>(position, 0, lines_.size());
    if (!select)
        anchor_ = position_;
    ensureCaretVisible();
    restartBlink();
    viewport()->update();
}

void MultiLineEdit::ensureCaretVisible()
{
    const qsizetype line = lines_.lineOf(position_);
    const qsizetype first = firstShownLine();
    if (line < first)
        verticalScrollBar()->setValue(toInt(line));
    else if (line >= first + visibleLines())
        verticalScrollBar()->setValue(toInt(line - visibleLines() + 1));
    QTextLayout layout;
    layOut(layout, line);
    widen(static_cast<int>(std::ceil(layout.lineAt(0).naturalTextWidth())));
    const int x = static_cast<int>(layout.lineAt(0).cursorToX(toInt(position_ - lines_.lineStart(line))));
    QScrollBar* horizontal = horizontalScrollBar();
    const int room = viewport()->width() - 2 * kMargin;
    if (x < horizontal->value())
        horizontal->setValue(x);
    else if (x >= horizontal->value() + room)
        horizontal->setValue(x - room + 1);
}

bool MultiLineEdit::moveCaret(QKeyEvent* event)
{
    using Key = QKeySequence::StandardKey;
    const qsizetype line = lines_.lineOf(position_);
    const qsizetype start = lines_.lineStart(line);
    const qsizetype length = lines_.lineEnd(line) - start;
    const int column = toInt(position_ - start);
    const qsizetype last = lines_.lineCount() - 1;
    QTextLayout layout;
    layOut(layout, line);
    // Up, Down and the page keys keep to where the caret was across lines.
    bool vertical = false;
    const auto toLine = [&](qsizetype target) {
        vertical = true;
        if (desiredX_ < 0)
            desiredX_ = static_cast<int>(layout.lineAt(0).cursorToX(column));
        target = std::clamp<qsizetype>(target, 0, last);
        QTextLayout other;
        layOut(other, target);
        return lines_.lineStart(target) + other.lineAt(0).xToCursor(desiredX_);
    };
    // Across a line end the caret goes to the next line's start or the last one's end.
    const auto next = [&](QTextLayout::CursorMode mode) {
        return column < length ? start + layout.nextCursorPosition(column, mode)
                               : (line < last ? lines_.lineStart(line + 1) : position_);
    };
    const auto previous = [&](QTextLayout::CursorMode mode) {
        return column > 0 ? start + layout.previousCursorPosition(column, mode)
                          : (line > 0 ? lines_.lineEnd(line - 1) : 0);
    };
    const struct {
        Key move;
        Key select;
        std::function<qsizetype()> to;
    } moves[] = {
        {Key::MoveToNextChar, Key::SelectNextChar, [&] { return next(QTextLayout::SkipCharacters); }},
        {Key::MoveToPreviousChar, Key::SelectPreviousChar, [&] { return previous(QTextLayout::SkipCharacters); }},
        {Key::MoveToNextWord, Key::SelectNextWord, [&] { return next(QTextLayout::SkipWords); }},
        {Key::MoveToPreviousWord, Key::SelectPreviousWord, [&] { return previous(QTextLayout::SkipWords); }},
        {Key::MoveToNextLine, Key::SelectNextLine, [&] { return line < last ? toLine(line + 1) : lines_.size(); }},
        {Key::MoveToPreviousLine, Key::SelectPreviousLine, [&] { return line > 0 ? toLine(line - 1) : 0; }},
        {Key::MoveToNextPage, Key::SelectNextPage, [&] { return toLine(line + visibleLines()); }},
        {Key::MoveToPreviousPage, Key::SelectPreviousPage, [&] { return toLine(line - visibleLines()); }},
        {Key::MoveToStartOfLine, Key::SelectStartOfLine, [&] { return start; }},
        {Key::MoveToEndOfLine, Key::SelectEndOfLine, [&] { return start + length; }},
        {Key::MoveToStartOfDocument, Key::SelectStartOfDocument, [&] { return qsizetype{0}; }},
        {Key::MoveToEndOfDocument, Key::SelectEndOfDocument, [&] { return lines_.size(); }},
    };
    for (const auto& move : moves) {
        const bool select = event->matches(move.select);
        if (!select && !event->matches(move.move))
            continue;
        const qsizetype target = move.to();
        const int keptX = vertical ? desiredX_ : -1;
        moveTo(target, select);
        desiredX_ = keptX;
        return true;
    }
    return false;
}

void MultiLineEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (!moveCaret(event)) {
        // Enter, Escape and the rest are the dialog's.
        event->ignore();
        return;
    }
    event->accept();
}

void MultiLineEdit::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    desiredX_ = -1;
    dragging_ = true;
    moveTo(positionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void MultiLineEdit::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    const QPoint point = event->position().toPoint();
    moveTo(positionAt(point), true);
    // Past the edge the view goes on scrolling while the button is held.
    if (viewport()->rect().contains(point))
        dragScroll_.stop();
    else if (!dragScroll_.isActive())
        dragScroll_.start(kDragScrollMs, this);
}

void MultiLineEdit::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    dragScroll_.stop();
    // The desktop's convention: what the mouse selected can be pasted with the middle button.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (anchor_ != position_ && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void MultiLineEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qsizetype position = positionAt(event->position().toPoint());
    const qsizetype line = lines_.lineOf(position);
    const qsizetype start = lines_.lineStart(line);
    const QString text = lines_.line(line).toString();
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(toInt(position - start));
    const qsizetype from = words.isAtBoundary() ? words.position() : words.toPreviousBoundary();
    words.setPosition(toInt(position - start));
    const qsizetype to = words.toNextBoundary();
    setSelection(start + std::max<qsizetype>(0, from), start + (to < 0 ? text.size() : to));
}

void MultiLineEdit::contextMenuEvent(QContextMenuEvent* event)
{
    // The texts of Qt's own text boxes, in Qt's own catalogue.
    QMenu menu(this);
    QAction* copyAction = menu.addAction(QCoreApplication::translate("QWidgetTextControl", "&Copy"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(anchor_ != position_);
    menu.addSeparator();
    QAction* all = menu.addAction(QCoreApplication::translate("QWidgetTextControl", "Select All"));
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(lines_.size() > 0);
    const QPoint at = event->reason() == QContextMenuEvent::Mouse
                          ? event->globalPos()
                          : viewport()->mapToGlobal(lineOrigin(lines_.lineOf(position_)));
    const QAction* chosen = modals().popupMenu(menu, at);
    if (chosen == copyAction)
        copy();
    else if (chosen == all)
        selectAll();
    event->accept();
}

void MultiLineEdit::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
    viewport()->update();
}

void MultiLineEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    caretShown_ = false;
    viewport()->update();
}

void MultiLineEdit::restartBlink()
{
    caretShown_ = hasFocus();
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        blink_.start(flash / 2, this);
    else
        blink_.stop();
}

void MultiLineEdit::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == blink_.timerId()) {
        caretShown_ = !caretShown_;
        viewport()->update();
    } else if (event->timerId() == dragScroll_.timerId()) {
        const QPoint point = viewport()->mapFromGlobal(QCursor::pos());
        QScrollBar* vertical = verticalScrollBar();
        if (point.y() < 0)
            vertical->setValue(vertical->value() - 1);
        else if (point.y() >= viewport()->height())
            vertical->setValue(vertical->value() + 1);
        moveTo(positionAt(point), true);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

} // namespace korvane::ui
