#include "ui/scan_dlg.h"

#include "catalogue/catalogue_location.h"
#include "fs/file_probe.h"
#include "paths/config_file.h"
#include "report/progress.h"
#include "text/ascii.h"
#include "text/unicode_text.h"
#include "ui/about_dlg.h"
#include "ui/background_task.h"
#include "ui/closing_box.h"
#include "ui/framework/data_exchange.h"
#include "ui/framework/modals.h"
#include "ui/framework/multi_line_edit.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QProgressBar>
#include <QScreen>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace korvane {

namespace {

// Room for the section headings of a report beyond its lines.
constexpr qsizetype kReportHeadings = 4096;
// 128 MiB of address space at most, taken by the pages written alone.
constexpr qsizetype kMaxReportRoom = qsizetype{64} << 20;

} // namespace

const CScanDlg::CommandEntry CScanDlg::kCommandMap[] = {
    {IDC_BROWSE, &CScanDlg::OnBrowse},
    {IDC_PROCESS, &CScanDlg::OnProcess},
};

// A run: the core's run and its project, the scan thread, and the
// feedback that relays from there. The project (its resolver, its result
// and report) is the scan thread's until the thread has ended.
struct CScanDlg::ScanRun {
    ScanRun(CScanDlg& dlg, QString shown, std::unique_ptr<Run> made)
        : path(std::move(shown)), run(std::move(made)), project(run->project(QFile::encodeName(path).toStdString())),
          relay([&dlg](std::string_view stored) { return dlg.fileExists(stored); }, &project.resolver(),
                [&dlg] { QMetaObject::invokeMethod(&dlg, [&dlg] { dlg.takeRelayed(); }, Qt::QueuedConnection); })
    {
    }

    QString path;
    // The report has at most one line a stored name, and each name takes
    // more bytes in the project than its line has characters: room for
    // that many, up to a bound, keeps the report from being moved as it grows.
    qsizetype reportRoom = 0;
    std::unique_ptr<Run> run;
    ProjectScan project;
    bool remember = false;  // the present files are remembered once the scan is done
    MemoryAnswers remembered;
    bool closeRequested = false;
    ui::ScanRelay relay;
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
    }
    if (busy())
        QApplication::restoreOverrideCursor();
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
        menu->appendMenu(ui::kMenuSeparator);
        menu->appendMenu(ui::kMenuString, IDM_CATALOGUE, ui::loadString(IDS_CATALOGUE));
        menu->appendMenu(ui::kMenuUnchecked, IDM_REMEMBER, ui::loadString(IDS_REMEMBER));
        showRememberSetting();
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
    } else if (command == IDM_CATALOGUE) {
        OnCatalogueDisk();
    } else if (command == IDM_REMEMBER) {
        OnRememberSetting();
    } else {
        TemplateDialog::OnSysCommand(id, lParam);
    }
}

void CScanDlg::scanAgain()
{
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
    if (busy())
        return;
    UpdateData(true);
    // Mappings and code page as they are now: a new run.
    RunOptions options;
    options.sources = mappingSources();
    options.openDecoder = decoderOpener_;
    // The setting as the file says now: the menu's check may be older.
    const bool remember = !options.sources.configFile.empty() && ConfigFile::load(options.sources.configFile).remember();
    if (remember) {
        options.catalogue = defaultCataloguePath();
        options.remember = true;
    }
    auto run = std::make_unique<Run>(std::move(options));
    if (!run->ready()) {
        const QString why = QString::fromStdString(run->errorText());
        ui::modals().messageBox(this, tr("The names in the project cannot be read: %1.").arg(why),
                                QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        return;
    }

    run_ = std::make_unique<ScanRun>(*this, m_dvcPath, std::move(run));
    run_->remember = remember;
    run_->reportRoom = std::min<qsizetype>(QFileInfo(m_dvcPath).size() + kReportHeadings, kMaxReportRoom);
    pacer_.setFrameRate(screen() ? screen()->refreshRate() : 0.0);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setSingleShot(true);
    frameTimer_.setInterval(std::chrono::ceil<std::chrono::milliseconds>(pacer_.frame()));
    enterBusy();

    // The relay is the sink and, in front of the project's resolver, the
    // existence test; the run keeps the report as data.
    run_->thread = std::thread([this, scan = run_.get()] {
        ui::lowerThreadPriority();
        const ScanResult& result = scan->run->scan(scan->project, scan->relay, scan->relay);
        if (scan->remember && result && !result.stopped)
            scan->remembered = scan->run->remember(scan->project);
        scan->relay.finish();
        QMetaObject::invokeMethod(this, [this] { finishRun(); }, Qt::QueuedConnection);
    });
}

void CScanDlg::stopRun()
{
    run_->run->requestStop();
    stopGrace_.stopped();
}

void CScanDlg::OnCancel()
{
    if (run_) {
        stopRun();
        return;
    }
    if (search_.running()) {
        stopSearch();
        return;
    }
    if (cataloguing_.running()) {
        cataloguing_.stop();
        stopGrace_.stopped();
        return;
    }
    if (stopGrace_.escapeMayEnd())
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
    if (search_.running())
        stopSearch();
    // What was catalogued is committed; the window goes at once and waits
    // for the cataloguing's next step only as it is destroyed.
    if (cataloguing_.running())
        cataloguing_.stopQuietly();
    // Not OnCancel: closing ends the dialog also just after a stop.
    EndDialog(IDCANCEL);
    event->accept();
}

void CScanDlg::enterBusy()
{
    QApplication::setOverrideCursor(Qt::BusyCursor);
    if (QWidget* process = GetDlgItem(IDC_PROCESS)) {
        // The window's focus, also where the window is not active (a box
        // that started the run is just closing): Qt moves it on from a
        // button that is turned off, and it comes back at the end.
        const bool hadFocus = focusWidget() == process;
        process->setEnabled(false);
        focusMovedTo_ = hadFocus ? focusWidget() : nullptr;
    }
    enableMenuEntries();
}

void CScanDlg::leaveBusy()
{
    QApplication::restoreOverrideCursor();
    m_progress.sync();
    if (QWidget* process = GetDlgItem(IDC_PROCESS)) {
        process->setEnabled(true);
        if (focusMovedTo_ && focusWidget() == focusMovedTo_)
            process->setFocus(Qt::OtherFocusReason);
    }
    focusMovedTo_ = nullptr;
    enableMenuEntries();
}

void CScanDlg::enableMenuEntries()
{
    // Their list is the last run's, and they end by starting a run.
    if (ui::SystemMenu* menu = GetSystemMenu(false)) {
        const auto gray = [this](bool nothing) { return busy() || nothing ? ui::kMenuGrayed : ui::kMenuString; };
        menu->enableMenuItem(IDM_FINDMISSING, gray(!lastScan_ || !lastScan_->anyMissing()));
        menu->enableMenuItem(IDM_UNDOPUTBACK, gray(lastJournal_.empty()));
    }
}

void CScanDlg::showStatus(const QString& text)
{
    if (QWidget* status = GetDlgItem(IDC_STATUS))
        ui::setWindowText(status, text);
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
    const std::unique_ptr<ScanRun> run = std::move(run_);
    // The report box holds the run's report: the member takes it from there
    // once, and shares it.
    if (QWidget* box = GetDlgItem(IDC_FILE_LIST))
        m_fileList = ui::windowText(box);

    const ScanResult result = run->project.result();
    // What the closing box says, while the run's project is at hand.
    QString closing = result.stopped ? QString() : ui::closingText(run->project, run->path, run->run->warnings());
    if (run->remember && result && !result.stopped)
        closing += ui::rememberedText(run->remembered);
    if (result) {
        lastRunPath_ = run->path;
        lastUnmapped_ = run->project.unmappedRoots();
        lastScan_ = std::make_shared<const ui::ScannedProject>(std::move(run->run), std::move(run->project));
    }
    leaveBusy();
    if (result.stopped) {
        // The user asked for it: the status line says so, with the last
        // entry done, and no box needs dismissing.
        const QString where = m_status;
        m_status = where.isEmpty() ? tr("Stopped") : tr("Stopped after %1").arg(where);
        showStatus(m_status);
        m_progress.setPos(0);
        stopGrace_.stopped();
    }
    if (run->closeRequested) {
        EndDialog(IDCANCEL);
        return;
    }
    if (result.stopped)
        return;
    ui::modals().messageBox(this, closing, QStringLiteral("korvane"),
                            result ? ui::MessageIcon::None : ui::MessageIcon::Exclamation);
    if (result)
        m_progress.setPos(0);
}

const std::vector<MissingFile>& CScanDlg::lastMissing() const
{
    static const std::vector<MissingFile> none;
    return lastScan_ ? lastScan_->missing() : none;
}

bool CScanDlg::fileExists(std::string_view path)
{
    // Outside a run: the names as stored, without mappings.
    return run_ ? run_->project.resolver().exists(path) : findFirst(path);
}

std::string CScanDlg::decodedText(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    // The report shows stored names as the resolver reads them: in the
    // project's code page.
    if (isAscii(text))
        return std::string(text);
    return lastScan_ ? lastScan_->decoded(text) : toValidUtf8(text);
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
            if (box && run_)
                box->reserve(run_->reportRoom);
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
        showStatus(m_status);
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
