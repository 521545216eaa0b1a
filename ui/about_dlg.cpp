#include "ui/about_dlg.h"

#include "ui/resource.h"

namespace korvane {

CAboutDlg::CAboutDlg() : TemplateDialog(IDD_ABOUT, nullptr) {}

void CAboutDlg::DoDataExchange(ui::DataExchange& dx)
{
    TemplateDialog::DoDataExchange(dx);
}

} // namespace korvane
