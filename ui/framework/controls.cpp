#include "ui/framework/controls.h"

#include <QAbstractButton>
#include <QLabel>
#include <QEvent>
#include <QPainter>
#include <QPen>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>
#include <utility>

namespace korvane::ui {

MultiLineEdit::MultiLineEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(NoWrap);
    setUndoRedoEnabled(false);
    setTabChangesFocus(true);
}

QString MultiLineEdit::windowText() const
{
    if (isReadOnly()) {
        if (!appended_.isEmpty()) {
            QString text;
            text.reserve(text_.size() + appendedSize_);
            text += text_;
            for (const QString& piece : std::as_const(appended_))
                text += piece;
            text_ = std::move(text);
            appended_.clear();
            appendedSize_ = 0;
        }
        return text_;
    }
    return toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

QString MultiLineEdit::shown(const QString& text)
{
    // The document takes CR LF, a lone CR and a lone LF each as one line
    // break, so the text goes in as it is; only a CR at its end waits until
    // it is known whether LF follows.
    QString lines = text;
    if (heldCr_ && !text.startsWith(QLatin1Char('\n')))
        lines.prepend(QLatin1Char('\r'));
    heldCr_ = false;
    if (lines.endsWith(QLatin1Char('\r'))) {
        lines.chop(1);
        heldCr_ = true;
    }
    return lines;
}

void MultiLineEdit::setWindowText(const QString& text)
{
    text_ = text;
    appended_.clear();
    appendedSize_ = 0;
    heldCr_ = false;
    setPlainText(shown(text));
}

void MultiLineEdit::appendWindowText(const QString& text)
{
    if (text.isEmpty())
        return;
    appended_.append(text);
    appendedSize_ += text.size();
    // The box's own cursor stays where it is, and with it the view. A caret
    // at the end would be carried along by the text inserted there (and, in
    // an empty box, end up after the first piece of a long report): it is
    // put back, and the view kept.
    const QTextCursor caret = textCursor();
    const int position = caret.position();
    const int anchor = caret.anchor();
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown(text));
    if (textCursor().position() != position || textCursor().anchor() != anchor) {
        const int top = verticalScrollBar()->value();
        const int left = horizontalScrollBar()->value();
        QTextCursor kept(document());
        kept.setPosition(anchor);
        kept.setPosition(position, QTextCursor::KeepAnchor);
        setTextCursor(kept);
        verticalScrollBar()->setValue(top);
        horizontalScrollBar()->setValue(left);
    }
}

bool MultiLineEdit::event(QEvent* event)
{
    // The frame is painted here, the text by the viewport inside it.
    const bool handled = QPlainTextEdit::event(event);
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

EdgedLineEdit::EdgedLineEdit(QWidget* parent) : QLineEdit(parent)
{
    setFrame(false);
    setContentsMargins(1, 1, 1, 1);
}

void EdgedLineEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    const bool focused = hasFocus();
    painter.setPen(palette().color(focused ? QPalette::Highlight : QPalette::Dark));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(palette().color(focused ? QPalette::Highlight : QPalette::Light));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

void ProgressControl::attach(QProgressBar* bar)
{
    bar_ = bar;
    sync();
}

void ProgressControl::changed()
{
    if (!held_)
        sync();
}

void ProgressControl::setRange(int lower, int upper)
{
    lower_ = lower;
    upper_ = upper;
    pos_ = std::clamp(pos_, lower_, std::max(lower_, upper_));
    changed();
}

void ProgressControl::setStep(int step)
{
    step_ = step;
}

int ProgressControl::setPos(int pos)
{
    const int previous = pos_;
    pos_ = std::clamp(pos, lower_, std::max(lower_, upper_));
    changed();
    return previous;
}

int ProgressControl::stepIt()
{
    // Past the upper end the bar starts over from the lower end.
    const int previous = pos_;
    pos_ += step_;
    if (pos_ > upper_ || pos_ < lower_)
        pos_ = lower_;
    changed();
    return previous;
}

void ProgressControl::hold(bool held)
{
    held_ = held;
    changed();
}

void ProgressControl::sync()
{
    if (!bar_)
        return;
    if (bar_->minimum() != lower_ || bar_->maximum() != upper_)
        bar_->setRange(lower_, upper_);
    bar_->setValue(pos_);
}

QString windowText(const QWidget* control)
{
    if (const auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    if (const auto* box = dynamic_cast<const MultiLineEdit*>(control))
        return box->windowText();
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return {};
}

void setWindowText(QWidget* control, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
    else if (auto* box = dynamic_cast<MultiLineEdit*>(control))
        box->setWindowText(text);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
}

} // namespace korvane::ui
