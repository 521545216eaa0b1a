#include "ui/framework/data_exchange.h"

#include "ui/framework/controls.h"
#include "ui/framework/template_dialog.h"

#include <QProgressBar>

namespace korvane::ui {

QWidget* DataExchange::control(int id) const
{
    return dialog_.GetDlgItem(id);
}

void ddxText(DataExchange& dx, int id, QString& value)
{
    QWidget* control = dx.control(id);
    if (!control)
        return;
    if (dx.saving()) {
        value = windowText(control);
    } else if (windowText(control) != value) {
        setWindowText(control, value);
    }
}

void ddxControl(DataExchange& dx, int id, ProgressControl& control)
{
    if (control.bar())
        return;
    if (auto* bar = qobject_cast<QProgressBar*>(dx.control(id)))
        control.attach(bar);
}

} // namespace korvane::ui
