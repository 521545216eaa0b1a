#pragma once

// The about box: the program's name, version and what it does. Opened from
// the about entry of the main dialog's window menu; OK, Escape and the close
// button end it.

#include "ui/framework/template_dialog.h"

namespace korvane {

class CAboutDlg : public ui::TemplateDialog {
public:
    CAboutDlg();

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
};

} // namespace korvane
