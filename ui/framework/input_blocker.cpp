#include "ui/framework/input_blocker.h"

#include <QCoreApplication>
#include <QEvent>

namespace korvane::ui {

InputBlocker::InputBlocker()
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputBlocker::~InputBlocker()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject*, QEvent* event)
{
    if (event->isInputEvent())
        return true;
    if (event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    return false;
}

} // namespace korvane::ui
