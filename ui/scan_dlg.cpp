#include "ui/scan_dlg.h"

#include "report/progress.h"
#include "scanner/scan.h"
#include "ui/about_dlg.h"
#include "ui/data_exchange.h"
#include "ui/dialog_template.h"
#include "ui/modals.h"
#include "ui/resource.h"
#include "ui/stored_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QScreen>

namespace korvane {

const CScanDlg::CommandEntry CScanDlg::kCommandMap[] = {
    {IDC_BROWSE, &CScanDlg::OnBrowse},
    {IDC_PROCESS, &CScanDlg::OnProcess},
};

CScanDlg::CScanDlg(QWidget* parent) : TemplateDialog(IDD_MAIN, parent), m_hIcon(ui::loadIcon(IDR_MAINFRAME)) {}

CScanDlg::~CScanDlg() = default;

void CScanDlg::DoDataExchange(ui::DataExchange& dx)
{
    TemplateDialog::DoDataExchange(dx);
    ui::ddxControl(dx, IDC_PROGRESS, m_progress);
    ui::ddxText(dx, IDC_DVC_PATH, m_dvcPath);
    ui::ddxText(dx, IDC_FILE_LIST, m_fileList);
    ui::ddxText(dx, IDC_STATUS, m_status);
}

bool CScanDlg::OnInitDialog()
{
    TemplateDialog::OnInitDialog();

    if (ui::SystemMenu* menu = GetSystemMenu(false)) {
        const QString about = ui::loadString(IDS_ABOUT);
        if (!about.isEmpty()) {
            menu->appendMenu(ui::kMenuSeparator);
            menu->appendMenu(ui::kMenuString, IDM_ABOUTBOX, about);
        }
    }
    // One icon serves as the big and the small one.
    setWindowIcon(m_hIcon);
    return true;
}

void CScanDlg::OnCommand(int id)
{
    for (const CommandEntry& entry : kCommandMap) {
        if (entry.id == id) {
            (this->*entry.handler)();
            return;
        }
    }
    TemplateDialog::OnCommand(id);
}

void CScanDlg::OnSysCommand(unsigned id, qintptr lParam)
{
    if ((id & ui::kSysCommandMask) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        TemplateDialog::OnSysCommand(id, lParam);
    }
}

void CScanDlg::OnOK()
{
    if (focusWidget() && focusWidget() == GetDlgItem(IDC_DVC_PATH))
        OnProcess();
}

void CScanDlg::OnBrowse()
{
    UpdateData(true);
    ui::OpenFileRequest request;
    request.filters = {QStringLiteral("Rex Edit file (*.dvc)"), QStringLiteral("all(*.*)")};
    request.initialName = QStringLiteral("*.dvc");
    request.defaultSuffix = QStringLiteral("dvc");
    // Start where the file in the path box is, where that folder exists.
    const QFileInfo current(m_dvcPath);
    if (!m_dvcPath.isEmpty() && current.dir().exists())
        request.directory = current.absolutePath();
    if (const std::optional<QString> chosen = ui::modals().openFileName(this, request))
        m_dvcPath = *chosen;
    UpdateData(false);
}

void CScanDlg::OnProcess()
{
    UpdateData(true);

    ScanResult result;
    {
        // No input is taken while the scan runs; the event loop runs only
        // where the changes are shown, so that the window keeps being drawn.
        const ui::InputBlocker blocker;
        struct Run {
            CScanDlg& dlg;
            explicit Run(CScanDlg& d) : dlg(d)
            {
                dlg.running_ = true;
                dlg.m_progress.hold(true);
            }
            ~Run()
            {
                dlg.showChanges();
                dlg.running_ = false;
                dlg.m_progress.hold(false);
            }
        } run(*this);
        probe_.forget();
        pacer_.setFrameRate(screen() ? screen()->refreshRate() : 0.0);
        result = runScan(ui::encodePath(m_dvcPath), *this);
    }

    if (!result) {
        ui::modals().messageBox(this, QStringLiteral("Can not open dvc file"), QStringLiteral("korvane"),
                                ui::MessageIcon::Exclamation);
        return;
    }
    QString text = QStringLiteral("completed\n") + m_dvcPath;
    if (result.damaged)
        text += QStringLiteral("\n\n") + QString::fromStdString(describeDamage(result));
    ui::modals().messageBox(this, text, QStringLiteral("korvane"), ui::MessageIcon::None);
    m_progress.setPos(0);
}

bool CScanDlg::fileExists(std::string_view path)
{
    return probe_.exists(path);
}

void CScanDlg::appendReport(std::string_view text)
{
    const QString piece = ui::decodeStoredText(text);
    m_fileList += piece;
    unshownReport_ += piece;
    changed();
}

void CScanDlg::clearReport()
{
    m_fileList.clear();
    unshownReport_.clear();
    reportCleared_ = true;
    // Shown at once: a run starts with an empty box.
    showChanges();
}

void CScanDlg::setStatus(std::string_view text)
{
    m_status = ui::decodeStoredText(text);
    statusChanged_ = true;
    changed();
}

void CScanDlg::resetProgress()
{
    m_progress.setRange(0, kProgressSteps);
    m_progress.setStep(1);
    m_progress.setPos(0);
    changed();
}

void CScanDlg::stepProgress()
{
    m_progress.stepIt();
    changed();
}

void CScanDlg::changed()
{
    if (!running_ || pacer_.due())
        showChanges();
}

void CScanDlg::showChanges()
{
    // Only what changed goes into the controls: the report box takes the
    // new lines at its end, never the whole report again.
    if (auto* box = dynamic_cast<ui::MultiLineEdit*>(GetDlgItem(IDC_FILE_LIST))) {
        if (reportCleared_)
            box->setWindowText(QString());
        box->appendWindowText(unshownReport_);
    }
    reportCleared_ = false;
    unshownReport_.truncate(0);
    if (statusChanged_) {
        if (auto* status = qobject_cast<QLineEdit*>(GetDlgItem(IDC_STATUS)))
            status->setText(m_status);
        statusChanged_ = false;
    }
    m_progress.sync();
    if (isVisible()) {
        repaint();
        if (running_)
            QCoreApplication::processEvents();
    }
    pacer_.painted();
}

} // namespace korvane
