#pragma once

#include <QObject>

namespace korvane::ui {

// While one lives, input to the application (keys, mouse, wheel, touch)
// is dropped and windows refuse to close: for a handler that works for a
// long time and lets the event loop run only to repaint.
class InputBlocker : public QObject {
public:
    InputBlocker();
    ~InputBlocker() override;
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace korvane::ui
