#include "ui/about_dlg.h"

#include "ui/resource_ids.h"
#include "ui/resources.h"

namespace korvane {

CAboutDlg::CAboutDlg() : TemplateDialog(ui::programTemplates(), IDD_ABOUT, nullptr) {}

void CAboutDlg::DoDataExchange(ui::DataExchange& dx)
{
    TemplateDialog::DoDataExchange(dx);
}

} // namespace korvane
