#include "ui/scan_app.h"

#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/scan_dlg.h"
#include "ui/translations.h"

#include <QIcon>

namespace korvane {

CScanApp::CScanApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("korvane"));
    setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    // Lets a Wayland compositor find the icon through the desktop entry.
    setDesktopFileName(QStringLiteral(KORVANE_APP_ID));
    setWindowIcon(ui::loadIcon(IDR_MAINFRAME));
    // The sub-dialogs, message boxes and file dialogs in the main dialog's font.
    setFont(ui::programFont());
    ui::installTranslations(QLocale::system());
}

bool CScanApp::InitInstance(const QString& projectPath)
{
    CScanDlg dlg;
    m_pMainWnd = &dlg;
    dlg.m_dvcPath = projectPath;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return false;
}

} // namespace korvane
