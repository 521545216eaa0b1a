#pragma once

// Data exchange between a dialog's members and its controls. A handler
// takes the controls' texts into the members (saving), works on the
// members, and puts them back (loading); see TemplateDialog::UpdateData.

#include <QString>

class QWidget;

namespace korvane::ui {

class ProgressControl;
class TemplateDialog;

class DataExchange {
public:
    DataExchange(TemplateDialog& dialog, bool saving) : dialog_(dialog), saving_(saving) {}

    // True: controls to members; false: members to controls.
    bool saving() const { return saving_; }
    QWidget* control(int id) const;

private:
    TemplateDialog& dialog_;
    bool saving_;
};

// The text of control `id` and a string member, in the exchange's
// direction. Loading leaves a control whose text is already `value` alone,
// so its view and selection stay.
void ddxText(DataExchange& dx, int id, QString& value);

// Attaches `control` to the progress bar `id` at the first exchange.
void ddxControl(DataExchange& dx, int id, ProgressControl& control);

} // namespace korvane::ui
