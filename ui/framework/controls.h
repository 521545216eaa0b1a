#pragma once

// The controls of dialog templates that Qt has no exact match for, and the
// text of a control as data exchange sees it.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

class QProgressBar;

namespace korvane::ui {

// A multi-line box whose text uses CR LF line ends, shown as lines that are
// not wrapped (a lone CR or LF also starts a new line on screen). A
// read-only box keeps the exact text it was given, so that the text read
// back is what was set and appended, character for character.
class MultiLineEdit : public QPlainTextEdit {
public:
    explicit MultiLineEdit(QWidget* parent = nullptr);

    QString windowText() const;
    // Replaces the text and shows its beginning.
    void setWindowText(const QString& text);
    // Adds to the end of the text without moving the view, in time linear
    // in the length of `text`. The text read back is put together from the
    // appended pieces when it is next asked for.
    void appendWindowText(const QString& text);

protected:
    // With the focus the frame is drawn in the highlight colour, so that a
    // read-only box shows it has the focus also where its caret is hard to see.
    bool event(QEvent* event) override;

private:
    QString shown(const QString& text);

    mutable QString text_;
    mutable QStringList appended_; // pieces that follow text_
    mutable qsizetype appendedSize_ = 0;
    bool heldCr_ = false; // the text ended in CR: shown once it is known whether LF follows
};

// A single-line box framed by a thin sunken edge instead of a border; with
// the focus the edge is drawn in the highlight colour.
class EdgedLineEdit : public QLineEdit {
public:
    explicit EdgedLineEdit(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A progress bar with a range, a step size and a position. Changes reach
// the bar at once, or, while held, with the next sync().
class ProgressControl {
public:
    void attach(QProgressBar* bar);
    QProgressBar* bar() const { return bar_; }

    void setRange(int lower, int upper);
    void setStep(int step);
    // Both return the previous position.
    int setPos(int pos);
    int stepIt();
    int pos() const { return pos_; }

    // Releasing the hold syncs.
    void hold(bool held);
    void sync();

private:
    void changed();

    QProgressBar* bar_ = nullptr;
    int lower_ = 0;
    int upper_ = 100;
    int step_ = 10;
    int pos_ = 0;
    bool held_ = false;
};

// A control's text: the text of a box, a label or a button.
QString windowText(const QWidget* control);
void setWindowText(QWidget* control, const QString& text);

} // namespace korvane::ui
