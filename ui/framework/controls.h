#pragma once

// The controls of dialog templates that Qt has no exact match for, and the
// text of a control as data exchange sees it. The read-only multi-line box
// is in multi_line_edit.h.

#include <QLineEdit>
#include <QString>

class QProgressBar;

namespace korvane::ui {

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

// A control's text: the text of a box, a label or a button. A multi-line
// box's line ends are CR LF. A read-only single-line box shows the
// beginning of a text set into it, however long.
QString windowText(const QWidget* control);
void setWindowText(QWidget* control, const QString& text);

} // namespace korvane::ui
