#include "ui/scan_dlg.h"

#include "paths/config_file.h"
#include "paths/run_setup.h"
#include "report/file_probe.h"
#include "report/progress.h"
#include "report/throttle.h"
#include "scanner/scan.h"
#include "search/missing_search.h"
#include "text/ascii.h"
#include "text/unicode_text.h"
#include "ui/about_dlg.h"
#include "ui/drive_mapping_dlg.h"
#include "ui/find_missing_dlg.h"
#include "ui/framework/data_exchange.h"
#include "ui/framework/input_blocker.h"
#include "ui/framework/modals.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/unmapped_note.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QScreen>

#include <algorithm>
#include <chrono>
#include <utility>

namespace korvane {

const CScanDlg::CommandEntry CScanDlg::kCommandMap[] = {
    {IDC_BROWSE, &CScanDlg::OnBrowse},
    {IDC_PROCESS, &CScanDlg::OnProcess},
};

CScanDlg::CScanDlg(QWidget* parent)
    : TemplateDialog(ui::programTemplates(), IDD_MAIN, parent), m_hIcon(ui::loadIcon(IDR_MAINFRAME))
{
}

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
        // The program's own entries, then the about entry last.
        menu->appendMenu(ui::kMenuSeparator);
        menu->appendMenu(ui::kMenuString, IDM_DRIVEMAPPING, ui::loadString(IDS_DRIVEMAPPING));
        // Until a run has missed files there is nothing to find.
        menu->appendMenu(ui::kMenuString | ui::kMenuGrayed, IDM_FINDMISSING, ui::loadString(IDS_FINDMISSING));
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
    const unsigned command = id & ui::kSysCommandMask;
    if (command == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else if (command == IDM_DRIVEMAPPING) {
        OnDriveMapping();
    } else if (command == IDM_FINDMISSING) {
        OnFindMissing();
    } else {
        TemplateDialog::OnSysCommand(id, lParam);
    }
}

MappingSources CScanDlg::mappingSources()
{
    return MappingSources::fromEnvironment();
}

void CScanDlg::OnDriveMapping()
{
    ui::DriveMappingDlg dialog(mappingSources(), this);
    ui::modals().execDialog(dialog);
}

void CScanDlg::OnFindMissing()
{
    if (lastMissingPaths_.empty())
        return;
    const QString title = QStringLiteral("Find missing files in folder");
    const std::optional<QString> folder =
        ui::modals().existingDirectory(this, title, QFileInfo(lastRunPath_).absolutePath());
    if (!folder)
        return;

    std::optional<SearchResults> results;
    {
        // The walk of a large tree takes a while: say how far it got, at
        // most every tenth of a second, and take no input meanwhile.
        const ui::InputBlocker blocker;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        auto* status = qobject_cast<QLineEdit*>(GetDlgItem(IDC_STATUS));
        Throttle statusUpdate(std::chrono::milliseconds(100));
        statusUpdate.markDone(); // the status line shows the last run's status till then
        SearchOptions options;
        // Suggestions add places to look to the mappings in use, never replace one.
        if (const RunSetup setup = setUpRun(mappingSources(), std::nullopt, decoderOpener_); setup.resolver)
            options.suggest.inUse = setup.resolver->drives().all();
        options.index.progress = [&](const WalkProgress& progress) {
            if (!status || !statusUpdate.claim())
                return;
            status->setText(QStringLiteral("Searching: %1 folders, %2 files").arg(progress.folders).arg(progress.files));
            QCoreApplication::processEvents();
        };
        // Matching and suggesting take a while on large trees: the walk's
        // last count must not stand for them.
        options.step = [&](const SearchStep& step) {
            if (!status)
                return;
            status->setText(QString::fromStdString(searchStepText(step)));
            QCoreApplication::processEvents();
        };
        results.emplace(searchMissing({QFile::encodeName(*folder).toStdString()}, lastMissing(), options));
        if (status)
            status->setText(m_status);
        QApplication::restoreOverrideCursor();
    }

    ui::FindMissingDlg dialog(*folder, *results, this);
    if (ui::modals().execDialog(dialog) != QDialog::Accepted || !dialog.chosenMapping())
        return;
    const MappingSuggestion& mapping = *dialog.chosenMapping();

    const std::filesystem::path file = mappingSources().configFile;
    std::string error;
    ConfigFile config = file.empty() ? ConfigFile() : ConfigFile::load(file, &error);
    // A file that could not be read whole is never written over.
    if (file.empty() || !error.empty() || !config.setMapping(mapping.storedPrefix, mapping.localFolder, &error) ||
        !config.save(file, &error)) {
        ui::modals().messageBox(
            this, QStringLiteral("The drive mapping could not be saved. %1").arg(QString::fromStdString(error)),
            QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        return;
    }
    // Scan the project of the search again, with the new mapping.
    m_dvcPath = lastRunPath_;
    UpdateData(false);
    OnProcess();
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
    // Mappings and code page as they are now: a new run of the resolver.
    RunSetup setup = setUpRun(mappingSources(), std::nullopt, decoderOpener_);
    if (!setup.resolver) {
        const QString why = QString::fromStdString(setup.errorText());
        ui::modals().messageBox(this, QStringLiteral("The names in the project cannot be read: %1.").arg(why),
                                QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        return;
    }

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
                // The report box holds the run's report: the member takes
                // it from there once, and shares it.
                if (QWidget* box = dlg.GetDlgItem(IDC_FILE_LIST))
                    dlg.m_fileList = ui::windowText(box);
                dlg.running_ = false;
                dlg.m_progress.hold(false);
            }
        } run(*this);
        resolver_ = std::move(setup.resolver);
        pacer_.setFrameRate(screen() ? screen()->refreshRate() : 0.0);
        runMissing_.clear();
        result = runScan(QFile::encodeName(m_dvcPath).toStdString(), *this);
        if (result) {
            lastRunPath_ = m_dvcPath;
            std::swap(lastMissingPaths_, runMissing_);
            lastMissing_.reset();
            lastUnmapped_ = resolver_->unmappedRoots();
            if (ui::SystemMenu* menu = GetSystemMenu(false))
                menu->enableMenuItem(IDM_FINDMISSING, lastMissingPaths_.empty() ? ui::kMenuGrayed : ui::kMenuString);
        }
    }

    if (!result) {
        // The reason on a second line, in the system's words ("No such file
        // or directory", "The file is in use by another program").
        QString text = QStringLiteral("Can not open dvc file");
        if (!result.openError.empty())
            text += QLatin1Char('\n') + QString::fromStdString(result.openError);
        ui::modals().messageBox(this, text, QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        return;
    }
    QString text = QStringLiteral("completed\n") + m_dvcPath;
    if (result.damaged)
        text += QStringLiteral("\n\n") + QString::fromStdString(describeDamage(result));
    if (!lastUnmapped_.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(ui::unmappedRootsSentence(lastUnmapped_));
    if (const std::string note = otherCodePageNote(*resolver_); !note.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(note) + QLatin1Char('.');
    for (std::size_t k = 0; k < setup.warnings.size(); ++k) {
        text += k == 0 ? QStringLiteral("\n\n") : QStringLiteral("\n");
        text += QString::fromStdString(setup.warnings[k].text);
    }
    ui::modals().messageBox(this, text, QStringLiteral("korvane"), ui::MessageIcon::None);
    m_progress.setPos(0);
}

const std::vector<MissingFile>& CScanDlg::lastMissing() const
{
    if (!lastMissing_)
        lastMissing_ = lastMissingPaths_.distinct();
    return *lastMissing_;
}

bool CScanDlg::fileExists(std::string_view path)
{
    // Outside a run: the names as stored, without mappings.
    if (!resolver_) {
        if (std::optional<TextDecoder> decoder = TextDecoder::open(kAutoCodePage))
            resolver_.emplace(DriveMap(), std::move(*decoder));
    }
    return resolver_ ? resolver_->exists(path) : findFirst(path);
}

void CScanDlg::appendDecoded(std::string_view text, std::string& out)
{
    // ASCII reads the same in every code page, and it is nearly all a
    // report holds: the line ends, the headings and most paths.
    if (isAscii(text)) {
        out.append(text);
        return;
    }
    // The report shows stored names as the resolver reads them: in the
    // project's code page.
    out += resolver_ ? resolver_->decoded(text) : toValidUtf8(text);
}

void CScanDlg::appendReport(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    appendDecoded(text, unshownReport_);
    changed();
}

void CScanDlg::missingFile(std::string_view path)
{
    path = path.substr(0, path.find('\0'));
    const std::size_t at = unshownReport_.size();
    appendDecoded(path, unshownReport_);
    if (running_)
        runMissing_.add(path, std::string_view(unshownReport_).substr(at));
    changed();
    appendReport(kLineEnd);
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
    unshownStatus_.assign(text);
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
    // Only what changed goes into the members and the controls: the report
    // takes the new lines at its end, never the whole report again.
    if (reportCleared_ || !unshownReport_.empty()) {
        const QString added = QString::fromUtf8(unshownReport_.data(), static_cast<qsizetype>(unshownReport_.size()));
        auto* box = dynamic_cast<ui::MultiLineEdit*>(GetDlgItem(IDC_FILE_LIST));
        if (box) {
            if (reportCleared_)
                box->setWindowText(QString());
            box->appendWindowText(added);
        }
        // During a run the member waits for the end, when it takes the
        // whole report from the box at once.
        if (!box || !running_)
            m_fileList += added;
    }
    reportCleared_ = false;
    unshownReport_.clear();
    if (statusChanged_) {
        m_status = QString::fromUtf8(unshownStatus_.data(), static_cast<qsizetype>(unshownStatus_.size()));
        if (auto* status = qobject_cast<QLineEdit*>(GetDlgItem(IDC_STATUS)))
            status->setText(m_status);
        statusChanged_ = false;
    }
    m_progress.sync();
    if (isVisible()) {
        if (running_) {
            // What changed is painted now, and only that: the controls
            // marked their changed parts, and the window's update request
            // paints them before anything else is handled.
            QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
            QCoreApplication::processEvents();
        } else {
            repaint();
        }
    }
    pacer_.painted();
}

} // namespace korvane
