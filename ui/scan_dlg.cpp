#include "ui/scan_dlg.h"

#include "paths/config_file.h"
#include "paths/run_setup.h"
#include "fs/file_probe.h"
#include "report/progress.h"
#include "report/throttle.h"
#include "restore/restore_apply.h"
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
#include "ui/put_back_dlg.h"
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
#include <QMetaObject>
#include <QScreen>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace korvane {

const CScanDlg::CommandEntry CScanDlg::kCommandMap[] = {
    {IDC_BROWSE, &CScanDlg::OnBrowse},
    {IDC_PROCESS, &CScanDlg::OnProcess},
};

// A run: its scan thread, the feedback that relays from there, and what
// its closing box needs.
struct CScanDlg::Run {
    Run(CScanDlg& dlg, QString project)
        : path(std::move(project)),
          relay([&dlg](std::string_view stored) { return dlg.fileExists(stored); }, &*dlg.resolver_,
                [&dlg] { QMetaObject::invokeMethod(&dlg, [&dlg] { dlg.takeRelayed(); }, Qt::QueuedConnection); })
    {
    }

    QString path;
    std::vector<SetupWarning> warnings;
    std::stop_source stop;
    bool closeRequested = false;
    QWidget* focusMovedTo = nullptr; // where the focus went from Process when it was disabled
    ui::ScanRelay relay;
    ScanResult result; // written by the scan thread, read once it has ended
    std::thread thread;
};

CScanDlg::CScanDlg(QWidget* parent)
    : TemplateDialog(ui::programTemplates(), IDD_MAIN, parent), m_hIcon(ui::loadIcon(IDR_MAINFRAME))
{
    connect(&frameTimer_, &QTimer::timeout, this, [this] { takeRelayed(); });
}

CScanDlg::~CScanDlg()
{
    // A window that goes away during a run (the program ends another way):
    // the scan stops at once and nothing waits for the window any more.
    if (run_) {
        stopRun();
        run_->relay.abandon();
        run_->thread.join();
        QApplication::restoreOverrideCursor();
    }
}

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
        // Until files were put back there is nothing to undo.
        menu->appendMenu(ui::kMenuString | ui::kMenuGrayed, IDM_UNDOPUTBACK,
                         QCoreApplication::translate("korvane::ui::PutBackDlg", "&Undo last put back"));
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
    } else if (command == IDM_UNDOPUTBACK) {
        OnUndoPutBack();
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
    if (run_ || lastMissingPaths_.empty())
        return;
    const QString title = tr("Find missing files in folder");
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
            status->setText(tr("Searching: %1 folders, %2 files").arg(progress.folders).arg(progress.files));
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

    ui::FindMissingDlg dialog(*folder, *results, this, resolver_ ? &*resolver_ : nullptr);
    const int answer = ui::modals().execDialog(dialog);
    if (!dialog.putBackJournal().empty()) {
        lastJournal_ = dialog.putBackJournal();
        scanAgain();
        return;
    }
    if (answer != QDialog::Accepted || !dialog.chosenMapping())
        return;
    const MappingSuggestion& mapping = *dialog.chosenMapping();

    const std::filesystem::path file = mappingSources().configFile;
    std::string error;
    ConfigFile config = file.empty() ? ConfigFile() : ConfigFile::load(file, &error);
    // A file that could not be read whole is never written over.
    if (file.empty() || !error.empty() || !config.setMapping(mapping.storedPrefix, mapping.localFolder, &error) ||
        !config.save(file, &error)) {
        ui::modals().messageBox(
            this, tr("The drive mapping could not be saved. %1").arg(QString::fromStdString(error)),
            QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        return;
    }
    // Scan the project of the search again, with the new mapping.
    scanAgain();
}

void CScanDlg::scanAgain()
{
    m_dvcPath = lastRunPath_;
    UpdateData(false);
    OnProcess();
}

void CScanDlg::OnUndoPutBack()
{
    if (run_ || lastJournal_.empty())
        return;
    UndoResult undo;
    // Whether a copy is still what was written takes reading it whole.
    ui::runAside([&] { undo = undoRestore(lastJournal_); });
    if (undo.read)
        lastJournal_.clear();
    if (ui::SystemMenu* menu = GetSystemMenu(false))
        menu->enableMenuItem(IDM_UNDOPUTBACK, lastJournal_.empty() ? ui::kMenuGrayed : ui::kMenuString);
    ui::modals().messageBox(this, ui::undoText(undo), QStringLiteral("korvane"),
                            undo.read ? ui::MessageIcon::None : ui::MessageIcon::Exclamation);
    if (undo.read && !lastRunPath_.isEmpty())
        scanAgain();
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
    request.filters = {tr("Rex Edit file (*.dvc)"), tr("all(*.*)")};
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
    if (run_)
        return;
    UpdateData(true);
    // Mappings and code page as they are now: a new run of the resolver.
    RunSetup setup = setUpRun(mappingSources(), std::nullopt, decoderOpener_);
    if (!setup.resolver) {
        const QString why = QString::fromStdString(setup.errorText());
        ui::modals().messageBox(this, tr("The names in the project cannot be read: %1.").arg(why),
                                QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        return;
    }

    // From here until the scan thread has ended, the resolver is the scan
    // thread's. It reads what the pool's threads looked up ahead of the scan.
    auto disk = makeRunFolderReader();
    auto lookups = std::make_unique<LookupPool>(*setup.resolver, LookupPool::kDefaultJobs, *disk);
    resolver_ = setup.resolver->sibling(lookups->reader());
    // The last run's resolver, which read through the last pool, is gone.
    lookups_ = std::move(lookups);
    disk_ = std::move(disk);
    run_ = std::make_unique<Run>(*this, m_dvcPath);
    run_->warnings = std::move(setup.warnings);
    pacer_.setFrameRate(screen() ? screen()->refreshRate() : 0.0);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setSingleShot(true);
    frameTimer_.setInterval(std::chrono::ceil<std::chrono::milliseconds>(pacer_.frame()));
    QApplication::setOverrideCursor(Qt::BusyCursor);
    if (QWidget* process = GetDlgItem(IDC_PROCESS)) {
        const bool hadFocus = process->hasFocus();
        process->setEnabled(false);
        if (hadFocus)
            run_->focusMovedTo = focusWidget();
    }
    // Its list is the last run's, and it ends by starting a run.
    if (ui::SystemMenu* menu = GetSystemMenu(false)) {
        menu->enableMenuItem(IDM_FINDMISSING, ui::kMenuGrayed);
        menu->enableMenuItem(IDM_UNDOPUTBACK, ui::kMenuGrayed);
    }

    ScanOptions options;
    options.stop = run_->stop.get_token();
    options.exists = &run_->relay;
    options.lookAhead = lookups_.get();
    run_->thread = std::thread([this, run = run_.get(), file = QFile::encodeName(m_dvcPath).toStdString(), options] {
        run->result = runScan(file, run->relay, options);
        run->relay.finish();
        QMetaObject::invokeMethod(this, [this] { finishRun(); }, Qt::QueuedConnection);
    });
}

void CScanDlg::stopRun()
{
    run_->stop.request_stop();
}

void CScanDlg::OnCancel()
{
    if (run_) {
        stopRun();
        return;
    }
    TemplateDialog::OnCancel();
}

void CScanDlg::closeEvent(QCloseEvent* event)
{
    if (run_) {
        run_->closeRequested = true;
        stopRun();
        event->ignore();
        return;
    }
    TemplateDialog::closeEvent(event);
}

void CScanDlg::takeRelayed()
{
    if (!run_)
        return;
    if (!pacer_.due()) {
        if (!frameTimer_.isActive())
            frameTimer_.start();
        return;
    }
    ui::RelayedChange change = run_->relay.take();
    // Nothing waits: the next change wakes the dialog.
    if (change.empty())
        return;
    showChange(std::move(change));
    pacer_.painted();
    frameTimer_.start();
}

void CScanDlg::finishRun()
{
    if (!run_ || !run_->thread.joinable())
        return;
    run_->thread.join();
    frameTimer_.stop();
    showChange(run_->relay.take());
    const std::unique_ptr<Run> run = std::move(run_);
    // The report box holds the run's report: the member takes it from there
    // once, and shares it.
    if (QWidget* box = GetDlgItem(IDC_FILE_LIST))
        m_fileList = ui::windowText(box);
    QApplication::restoreOverrideCursor();
    if (QWidget* process = GetDlgItem(IDC_PROCESS)) {
        process->setEnabled(true);
        if (run->focusMovedTo && focusWidget() == run->focusMovedTo)
            process->setFocus(Qt::OtherFocusReason);
    }

    const ScanResult& result = run->result;
    if (result) {
        lastRunPath_ = run->path;
        lastMissingPaths_ = std::move(run->relay.missing());
        lastMissing_.reset();
        lastUnmapped_ = resolver_->unmappedRoots();
    }
    if (ui::SystemMenu* menu = GetSystemMenu(false)) {
        menu->enableMenuItem(IDM_FINDMISSING, lastMissingPaths_.empty() ? ui::kMenuGrayed : ui::kMenuString);
        menu->enableMenuItem(IDM_UNDOPUTBACK, lastJournal_.empty() ? ui::kMenuGrayed : ui::kMenuString);
    }
    if (result.stopped) {
        // The user asked for it: the status line says so, with the last
        // entry done, and no box needs dismissing.
        const QString where = m_status;
        m_status = where.isEmpty() ? tr("Stopped") : tr("Stopped after %1").arg(where);
        if (auto* status = qobject_cast<QLineEdit*>(GetDlgItem(IDC_STATUS)))
            status->setText(m_status);
        m_progress.setPos(0);
    }
    if (run->closeRequested) {
        EndDialog(IDCANCEL);
        return;
    }
    if (result.stopped)
        return;
    if (!result) {
        // The reason on a second line, in the system's words ("No such file
        // or directory", "The file is in use by another program").
        QString text = tr("Can not open dvc file");
        if (!result.openError.empty())
            text += QLatin1Char('\n') + QString::fromStdString(result.openError);
        ui::modals().messageBox(this, text, QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        return;
    }
    QString text = tr("completed") + QLatin1Char('\n') + run->path;
    if (result.damaged)
        text += QStringLiteral("\n\n") + QString::fromStdString(describeDamage(result));
    if (!lastUnmapped_.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(ui::unmappedRootsSentence(lastUnmapped_));
    if (const std::string note = otherCodePageNote(*resolver_); !note.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(note) + QLatin1Char('.');
    for (std::size_t k = 0; k < run->warnings.size(); ++k) {
        text += k == 0 ? QStringLiteral("\n\n") : QStringLiteral("\n");
        text += QString::fromStdString(run->warnings[k].text);
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

std::string CScanDlg::decodedText(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    // The report shows stored names as the resolver reads them: in the
    // project's code page.
    if (isAscii(text))
        return std::string(text);
    return resolver_ ? resolver_->decoded(text) : toValidUtf8(text);
}

void CScanDlg::appendReport(std::string_view text)
{
    ui::RelayedChange change;
    change.report = decodedText(text);
    showChange(std::move(change));
}

void CScanDlg::clearReport()
{
    ui::RelayedChange change;
    change.reportCleared = true;
    showChange(std::move(change));
}

void CScanDlg::setStatus(std::string_view text)
{
    ui::RelayedChange change;
    change.statusChanged = true;
    change.status.assign(text);
    showChange(std::move(change));
}

void CScanDlg::resetProgress()
{
    ui::RelayedChange change;
    change.progressReset = true;
    showChange(std::move(change));
}

void CScanDlg::stepProgress()
{
    ui::RelayedChange change;
    change.steps = 1;
    showChange(std::move(change));
}

void CScanDlg::showChange(ui::RelayedChange&& change)
{
    // Only what changed goes into the members and the controls: the report
    // takes the new text at its end, never the whole report again.
    if (change.reportCleared || !change.report.empty()) {
        const QString added = QString::fromUtf8(change.report.data(), static_cast<qsizetype>(change.report.size()));
        auto* box = dynamic_cast<ui::MultiLineEdit*>(GetDlgItem(IDC_FILE_LIST));
        if (change.reportCleared) {
            m_fileList.clear();
            if (box)
                box->setWindowText(QString());
        }
        if (box)
            box->appendWindowText(added);
        // During a run the member waits for the end, when it takes the
        // whole report from the box at once.
        if (!box || !run_)
            m_fileList += added;
    }
    if (change.statusChanged) {
        m_status = QString::fromUtf8(change.status.data(), static_cast<qsizetype>(change.status.size()));
        if (auto* status = qobject_cast<QLineEdit*>(GetDlgItem(IDC_STATUS)))
            status->setText(m_status);
    }
    if (change.progressReset || change.steps > 0) {
        m_progress.hold(true);
        if (change.progressReset) {
            m_progress.setRange(0, kProgressSteps);
            m_progress.setStep(1);
            m_progress.setPos(0);
        }
        for (int k = 0; k < change.steps; ++k)
            m_progress.stepIt();
        m_progress.hold(false);
    }
}

} // namespace korvane
