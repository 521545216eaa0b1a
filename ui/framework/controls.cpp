#include "ui/framework/controls.h"

#include "ui/framework/multi_line_edit.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <algorithm>
#include <utility>

namespace korvane::ui {

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
    if (const auto* editable = qobject_cast<const QPlainTextEdit*>(control))
        return editable->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return {};
}

void setWindowText(QWidget* control, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
        // Qt shows a text's end; a read-only box its beginning, which
        // says what the rest is about. A box the user types into keeps
        // the caret after the text.
        if (edit->isReadOnly())
            edit->setCursorPosition(0);
    } else if (auto* box = dynamic_cast<MultiLineEdit*>(control)) {
        box->setWindowText(text);
    } else if (auto* editable = qobject_cast<QPlainTextEdit*>(control)) {
        editable->setPlainText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    }
}

} // namespace korvane::ui
