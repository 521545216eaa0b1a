#include "ui/bench/stall_bench.h"

#include "bench/bench_support.h"
#include "search/missing_search.h"
#include "tests/builder/project_builder.h"
#include "ui/background_task.h"
#include "ui/bench/loop_watch.h"
#include "ui/framework/modals.h"
#include "ui/framework/multi_line_edit.h"
#include "ui/put_back_dlg.h"
#include "ui/resource_ids.h"
#include "ui/scan_dlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace korvane::bench {

namespace {

namespace fs = std::filesystem;

// Answers every box and dialog as a user who only reads them would, and
// picks `folder` in the folder picker.
class Answers final : public ui::ModalHandler {
public:
    QString folder;
    int dialogs = 0;

    void messageBox(QWidget*, const QString&, const QString&, ui::MessageIcon) override {}
    std::optional<QString> openFileName(QWidget*, const ui::OpenFileRequest&) override { return std::nullopt; }
    std::optional<QString> existingDirectory(QWidget*, const QString&, const QString&) override { return folder; }
    int execDialog(QDialog&) override
    {
        ++dialogs;
        return QDialog::Rejected;
    }
    QAction* popupMenu(QMenu&, const QPoint&) override { return nullptr; }
};

// Runs the event loop until `done` holds; throws after ten minutes.
void runUntil(const std::function<bool()>& done, const char* what)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        if (clock.elapsed() > 600'000)
            throw std::runtime_error(std::string("waited ten minutes for ") + what);
    }
}

// Runs the event loop for `ms` milliseconds.
void idle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    runUntil([&] { return clock.elapsed() >= ms; }, "the event loop");
}

void makeFile(const fs::path& path, std::string_view content = {})
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// PREFIX and the number: std::string's operator+ on a literal trips a false
// warning of GCC 12 (-Wrestrict).
std::string numbered(const char* prefix, std::size_t n, const char* suffix = "")
{
    std::string text = prefix;
    text += std::to_string(n);
    text += suffix;
    return text;
}

void pressEscape(QWidget* window)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
}

std::unique_ptr<CScanDlg> shownDialog(const std::string& project)
{
    auto dlg = std::make_unique<CScanDlg>();
    if (!dlg->Create())
        throw std::runtime_error("the dialog cannot be created");
    dlg->show();
    dlg->m_dvcPath = QString::fromStdString(fs::absolute(project).string());
    dlg->UpdateData(false);
    QApplication::processEvents();
    return dlg;
}

} // namespace

PutBackFigures putBackInDialog(std::size_t files, std::size_t cancelAt)
{
    // Clips moved from D:\Clips to a USB disk, 100 a folder; D: is an empty disk.
    const fs::path root = fs::absolute(numbered("put-back-", files));
    const fs::path usb = root / "usb";
    const fs::path drive = root / "drive";
    fs::create_directories(drive);
    std::vector<MissingFile> missing;
    for (std::size_t k = 0; k < files; ++k) {
        const std::string folder = numbered("f", k / 100);
        const std::string name = numbered("clip", k, ".avi");
        makeFile(usb / "Clips" / folder / name, name);
        const std::string stored = "D:\\Clips\\" + folder + "\\" + name;
        missing.push_back({stored, stored});
    }
    qputenv("XDG_STATE_HOME", QFile::encodeName(QString::fromStdString((root / "state").string())));
    auto results = std::make_shared<const SearchResults>(searchMissing({usb.string()}, missing));
    ui::PlanSettings settings;
    settings.sources.explicitMappings = {{"D:", drive.string(), MappingSource::Explicit}};

    PutBackFigures figures;
    {
        std::optional<LoopWatch> watch(std::in_place);
        const Clock::time_point opened = Clock::now();
        ui::PutBackDlg dialog(results, settings);
        dialog.show();
        runUntil([&] { return !dialog.planning(); }, "the plan");
        figures.planMs = millisecondsSince(opened);
        idle(300);
        figures.planStallMs = watch->longestMs();
        auto* putBack = dialog.findChild<QPushButton*>(QStringLiteral("putBackButton"));
        auto* bar = dialog.findChild<QProgressBar*>(QStringLiteral("putBackProgress"));
        if (!putBack || !bar || !putBack->isEnabled())
            throw std::runtime_error("the plan puts nothing back");
        watch.emplace();
        const Clock::time_point started = Clock::now();
        putBack->click();
        if (cancelAt > 0) {
            runUntil([&] { return !dialog.applying() || static_cast<std::size_t>(bar->value()) >= cancelAt; },
                     "the put back to get far enough");
            dialog.reject();
        }
        runUntil([&] { return !dialog.applying(); }, "the put back");
        figures.applyMs = millisecondsSince(started);
        // A window that freezes once it has shown the outcome freezes here.
        idle(1000);
        figures.longestStallMs = watch->longestMs();
        figures.putBack = dialog.applied() ? dialog.applied()->putBack() : 0;
    }
    fs::remove_all(root);
    return figures;
}

ReportFigures reportInDialog(std::size_t lines, const std::vector<double>& escapeShares)
{
    testkit::ProjectModel model;
    for (std::size_t k = 0; k < lines; ++k)
        model.mainAV.push_back({numbered("no/such/folder/clip", k, ".avi"), "", 0});
    const std::string project = numbered("report-", lines, ".dvc");
    testkit::writeFile(project, testkit::buildProject(model));
    model = {};

    Answers answers;
    const ui::ScopedModalHandler answering(answers);
    ReportFigures figures;
    {
        const std::unique_ptr<CScanDlg> dlg = shownDialog(project);
        const LoopWatch watch;
        dlg->OnProcess();
        runUntil([&] { return !dlg->running(); }, "the run");
        figures.longestStallMs = watch.longestMs();
        if (const auto* box = dynamic_cast<const ui::MultiLineEdit*>(dlg->GetDlgItem(IDC_FILE_LIST)))
            figures.lines = static_cast<std::size_t>(box->lineCount());
    }
    for (const double share : escapeShares) {
        const std::unique_ptr<CScanDlg> dlg = shownDialog(project);
        const auto* box = dynamic_cast<const ui::MultiLineEdit*>(dlg->GetDlgItem(IDC_FILE_LIST));
        dlg->OnProcess();
        const auto wanted = static_cast<qsizetype>(share * static_cast<double>(lines));
        runUntil([&] { return !dlg->running() || box->lineCount() >= wanted; }, "the report to grow");
        if (!dlg->running())
            throw std::runtime_error("the run ended before Escape");
        const Clock::time_point pressed = Clock::now();
        pressEscape(dlg.get());
        runUntil([&] { return !dlg->running(); }, "the run to stop");
        figures.escapeMs.push_back(millisecondsSince(pressed));
    }
    fs::remove(project);
    return figures;
}

SearchFigures searchEscapeInDialog(std::size_t files)
{
    // 20 files a folder, as on a camera card copied folder by folder.
    const fs::path tree = fs::absolute(numbered("tree-", files));
    for (std::size_t k = 0; k < files; ++k)
        makeFile(tree / numbered("d", k / 20) / numbered("f", k, ".mov"));
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\Moved\\a.avi", "", 0}, {"D:\\Moved\\b.avi", "", 0}};
    const std::string project = "search.dvc";
    testkit::writeFile(project, testkit::buildProject(model));

    Answers answers;
    answers.folder = QString::fromStdString(tree.string());
    const ui::ScopedModalHandler answering(answers);
    SearchFigures figures;
    {
        const std::unique_ptr<CScanDlg> dlg = shownDialog(project);
        dlg->OnProcess();
        runUntil([&] { return !dlg->running(); }, "the run");
        auto* status = dynamic_cast<QLineEdit*>(dlg->GetDlgItem(IDC_STATUS));
        const QRegularExpression filesRead(QStringLiteral("Searching: \\d+ folders, (\\d+) files"));
        const auto read = [&]() -> std::size_t {
            const QRegularExpressionMatch match = filesRead.match(status->text());
            return match.hasMatch() ? match.captured(1).toULongLong() : 0;
        };
        const LoopWatch watch;
        dlg->OnSysCommand(IDM_FINDMISSING, 0);
        // The first count the status line shows: the walk is under way.
        runUntil([&] { return !dlg->busy() || read() > 0; }, "the walk to begin");
        if (!dlg->busy() || answers.dialogs > 0)
            throw std::runtime_error("the search ended before Escape");
        figures.filesWhenStopped = read();
        const Clock::time_point pressed = Clock::now();
        pressEscape(dlg.get());
        runUntil([] { return ui::BackgroundTask::abandonedRunning() == 0; }, "the walk to end");
        figures.escapeToWalkEndMs = millisecondsSince(pressed);
        figures.longestStallMs = watch.longestMs();
        if (answers.dialogs > 0)
            throw std::runtime_error("the stopped search showed its results");
    }
    fs::remove(project);
    fs::remove_all(tree);
    return figures;
}

BoxFigures appendToBox(std::size_t lines, std::size_t perFrame, bool plainTextEdit)
{
    std::unique_ptr<QAbstractScrollArea> box;
    if (plainTextEdit) {
        auto edit = std::make_unique<QPlainTextEdit>();
        edit->setReadOnly(true);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setUndoRedoEnabled(false);
        box = std::move(edit);
    } else {
        box = std::make_unique<ui::MultiLineEdit>();
    }
    box->resize(320, 240);
    box->show();
    QApplication::processEvents();
    BoxFigures figures;
    const Clock::time_point start = Clock::now();
    std::size_t frames = 0;
    for (std::size_t done = 0; done < lines; done += perFrame, ++frames) {
        QString piece;
        for (std::size_t k = done; k < std::min(lines, done + perFrame); ++k)
            piece += QString::fromStdString(numbered("D:\\Wedding 2019\\Camera A\\clip", k, ".avi\r\n"));
        const Clock::time_point frame = Clock::now();
        if (auto* edit = dynamic_cast<QPlainTextEdit*>(box.get())) {
            QTextCursor end(edit->document());
            end.movePosition(QTextCursor::End);
            end.insertText(piece);
        } else {
            static_cast<ui::MultiLineEdit*>(box.get())->appendWindowText(piece);
        }
        box->viewport()->repaint();
        QApplication::processEvents();
        figures.slowestFrameMs = std::max(figures.slowestFrameMs, millisecondsSince(frame));
    }
    figures.framesPerSecond = static_cast<double>(frames) / (millisecondsSince(start) / 1000.0);
    return figures;
}

} // namespace korvane::bench
