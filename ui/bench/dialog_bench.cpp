// korvane-bench-dialog: "Process" in the dialog, on Qt's offscreen platform,
// on a large generated project with tens of thousands of missing paths,
// against korvane-scan as a whole process on the same file, round by round;
// then the dialog's long work at archive scale (stall_bench.h): putting back
// thousands of files and stopping it, a report of a million lines, Escape
// during the walk of a large tree. The dialogs are shown, so every repaint
// is really drawn.

#include "bench/bench_support.h"
#include "bench/large_project.h"
#include "paths/path_resolver.h"
#include "report/scan_feedback.h"
#include "scanner/scan.h"
#include "tests/builder/project_builder.h"
#include "ui/framework/controls.h"
#include "ui/framework/modals.h"
#include "ui/resource_ids.h"
#include "ui/bench/loop_watch.h"
#include "ui/bench/stall_bench.h"
#include "ui/scan_app.h"
#include "ui/scan_dlg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace korvane::bench;

constexpr const char* kUsage =
    "Usage: korvane-bench-dialog --scan PROGRAM [options]\n"
    "Generates a large project with many missing files in a temporary folder, then\n"
    "times Process in the dialog (offscreen) against PROGRAM (korvane-scan) on it;\n"
    "then measures the longest stall of the event loop and the time Escape takes\n"
    "while the dialogs put thousands of files back, scan a project whose report has\n"
    "a million lines, and search a large tree.\n"
    "\n"
    "  --scan PROGRAM     the korvane-scan to time (required by the part process)\n"
    "  --rounds N         timed rounds after one warm-up round (default 5)\n"
    "  --scale X          size of the project, as korvane-make-large-project (default 1)\n"
    "  --missing SHARE    share of distinct paths whose file is missing (default 0.5)\n"
    "  --parts LIST       of process, putback, cancel, report, search, box (default all)\n"
    "  --stall-rounds N   rounds of each of the other parts (default 3)\n"
    "  --putback-files N  files put back by the part putback (default 5000)\n"
    "  --cancel-files N   files the part cancel starts to put back (default 30000)\n"
    "  --cancel-at N      put back before Cancel (default 4700)\n"
    "  --report-lines N   lines of the report of the part report (default 1000000)\n"
    "  --search-files N   files of the tree of the part search (default 200000)\n"
    "  --box-lines N      lines the part box appends (default 200000), 2000 a frame\n"
    "  --keep             keep the temporary folder and say where it is\n"
    "  --help             show this text\n";

struct Options {
    std::string scan;
    int rounds = 5;
    LargeProjectOptions project;
    std::string parts = "process,putback,cancel,report,search,box";
    int stallRounds = 3;
    std::size_t putBackFiles = 5000;
    std::size_t cancelFiles = 30000;
    std::size_t cancelAt = 4700;
    std::size_t reportLines = 1000000;
    std::size_t searchFiles = 200000;
    std::size_t boxLines = 200000;
    bool keep = false;

    bool part(const std::string& name) const
    {
        return ("," + parts + ",").find("," + name + ",") != std::string::npos;
    }
};

std::size_t count(const char* option, const char* text)
{
    return static_cast<std::size_t>(std::max(1.0, parseNumber(option, text)));
}

std::optional<Options> parse(int argc, char** argv)
{
    Options options;
    options.project.missingShare = 0.5;
    const std::vector<std::string> rest = readCommandLine(
        argc, argv,
        {
            {"scan", true, [&](const char* v) { options.scan = v; }},
            {"rounds", true,
             [&](const char* v) { options.rounds = std::max(1, static_cast<int>(parseNumber("--rounds", v))); }},
            {"scale", true, [&](const char* v) { options.project.scale = parseNumber("--scale", v); }},
            {"missing", true, [&](const char* v) { options.project.missingShare = parseNumber("--missing", v); }},
            {"parts", true, [&](const char* v) { options.parts = v; }},
            {"stall-rounds", true,
             [&](const char* v) {
                 options.stallRounds = std::max(1, static_cast<int>(parseNumber("--stall-rounds", v)));
             }},
            {"putback-files", true, [&](const char* v) { options.putBackFiles = count("--putback-files", v); }},
            {"cancel-files", true, [&](const char* v) { options.cancelFiles = count("--cancel-files", v); }},
            {"cancel-at", true, [&](const char* v) { options.cancelAt = count("--cancel-at", v); }},
            {"report-lines", true, [&](const char* v) { options.reportLines = count("--report-lines", v); }},
            {"search-files", true, [&](const char* v) { options.searchFiles = count("--search-files", v); }},
            {"box-lines", true, [&](const char* v) { options.boxLines = count("--box-lines", v); }},
            {"keep", false, [&](const char*) { options.keep = true; }},
        },
        kUsage);
    if (!rest.empty())
        throw std::invalid_argument("unknown argument '" + rest.front() + "'\n" + kUsage);
    if (options.scan.empty() && options.part("process"))
        return std::nullopt;
    return options;
}

// Answers the closing box as a user would, and keeps what it said.
class ClosingBox final : public korvane::ui::ModalHandler {
public:
    std::vector<QString> texts;

    void messageBox(QWidget*, const QString& text, const QString&, korvane::ui::MessageIcon) override
    {
        texts.push_back(text);
    }
    std::optional<QString> openFileName(QWidget*, const korvane::ui::OpenFileRequest&) override
    {
        return std::nullopt;
    }
    int execDialog(QDialog&) override { return IDCANCEL; }
    QAction* popupMenu(QMenu&, const QPoint&) override { return nullptr; }
};

// The scan without widgets, in this process: what the dialog's run costs
// apart from showing it.
class StringFeedback final : public korvane::ScanFeedback {
public:
    std::string report;
    void appendReport(std::string_view text) override { report.append(text); }
    void clearReport() override { report.clear(); }
    void setStatus(std::string_view) override {}
    void resetProgress() override {}
    void stepProgress() override {}

    // The scan's existence test.
    korvane::PathResolver resolver{korvane::DriveMap(), *korvane::TextDecoder::open(korvane::kAutoCodePage)};
};

std::string readAll(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void waitForRun(const korvane::CScanDlg& dlg)
{
    while (dlg.running())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// A new dialog, shown, with `project` in its path box.
std::unique_ptr<korvane::CScanDlg> shownDialog(const QString& project)
{
    auto dlg = std::make_unique<korvane::CScanDlg>();
    if (!dlg->Create())
        throw std::runtime_error("the dialog cannot be created");
    dlg->show();
    QApplication::processEvents();
    auto* path = dynamic_cast<QLineEdit*>(dlg->GetDlgItem(IDC_DVC_PATH));
    if (!path)
        throw std::runtime_error("the dialog has no path box");
    path->setText(project);
    return dlg;
}

// One Process in a new dialog, shown as the user sees it; the dialog is made
// and destroyed outside the time. Returns the report box's text.
QString processInDialog(const QString& project, ClosingBox& box, Timing& time, double* loopGapMs = nullptr)
{
    const std::unique_ptr<korvane::CScanDlg> dlg = shownDialog(project);
    const std::size_t boxes = box.texts.size();
    // The run ends on the event loop, with its closing box.
    const LoopWatch watch;
    time = timeHere([&] {
        dlg->OnProcess();
        waitForRun(*dlg);
    });
    if (loopGapMs)
        *loopGapMs = watch.longestMs();
    if (box.texts.size() != boxes + 1 || box.texts.back() != QStringLiteral("completed\n") + project)
        throw std::runtime_error("the dialog did not close the run with the box \"completed\"");
    return korvane::ui::windowText(dlg->GetDlgItem(IDC_FILE_LIST));
}

struct StopTiming {
    double escapeToEndMs = 0;
    double shownShare = 0; // of the whole report
};

// Escape once the run has shown a first part of its report: how long until the run has ended.
StopTiming stopInDialog(const QString& project, qsizetype wholeReport)
{
    const std::unique_ptr<korvane::CScanDlg> dlg = shownDialog(project);
    QWidget* report = dlg->GetDlgItem(IDC_FILE_LIST);
    dlg->OnProcess();
    while (dlg->running() && korvane::ui::windowText(report).size() < wholeReport / 10)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (!dlg->running())
        throw std::runtime_error("the run ended before a tenth of its report was shown");
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QElapsedTimer clock;
    clock.start();
    QApplication::sendEvent(dlg.get(), &escape);
    waitForRun(*dlg);
    StopTiming timing;
    timing.escapeToEndMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    timing.shownShare = static_cast<double>(korvane::ui::windowText(report).size()) / static_cast<double>(wholeReport);
    if (!dlg->isVisible())
        throw std::runtime_error("Escape during a run ended the dialog");
    return timing;
}

// Process in the dialog against korvane-scan, round by round.
void measureProcess(const Options& options)
{
    const std::string& scan = options.scan;

    const LargeProject project = makeLargeProject(options.project);
    if (const std::string error = verifyLargeProject(project); !error.empty())
        throw std::runtime_error("the generated project does not scan as built: " + error);
    const std::string file = "large.dvc";
    korvane::testkit::writeFile(file, project.bytes);
    createMediaFiles(project);
    std::printf("project: %s\n", describeLargeProject(project).c_str());

    // Both must show the same report: the dialog's box holds what
    // korvane-scan --utf8 writes.
    const ProcessRun checked = runProcess({scan, "--utf8", file}, "report.txt");
    if (checked.exitStatus != (project.missingTests() > 0 ? 1 : 0))
        throw std::runtime_error("korvane-scan exited with " + std::to_string(checked.exitStatus));
    ClosingBox box;
    const korvane::ui::ScopedModalHandler answering(box);
    const QString projectPath = QString::fromStdString(std::filesystem::absolute(file).string());
    Timing ignored;
    const QString wholeReport = QString::fromStdString(readAll("report.txt"));
    if (processInDialog(projectPath, box, ignored) != wholeReport)
        throw std::runtime_error("the dialog's report differs from korvane-scan's");

    Series cli{"korvane-scan FILE > /dev/null", {}};
    Series dialog{"Process in the dialog (offscreen)", {}};
    Series bare{"the same scan in process, without widgets", {}};
    std::vector<double> loopGaps; // the longest stall of the event loop in each round's Process
    std::vector<StopTiming> stops;
    runRounds(options.rounds,
              {[&] {
                   StringFeedback feedback;
                   korvane::ScanOptions scanOptions;
                   scanOptions.exists = &feedback.resolver;
                   bare.runs.push_back(timeHere([&] { korvane::runScan(file, feedback, scanOptions); }));
               },
               [&] {
                   const ProcessRun r = runProcess({scan, file});
                   if (r.exitStatus != checked.exitStatus)
                       throw std::runtime_error("korvane-scan exited with " + std::to_string(r.exitStatus));
                   cli.runs.push_back(r.time);
               },
               [&] {
                   Timing t;
                   double gap = 0;
                   processInDialog(projectPath, box, t, &gap);
                   dialog.runs.push_back(t);
                   loopGaps.push_back(gap);
               },
               [&] { stops.push_back(stopInDialog(projectPath, wholeReport.size())); }},
              [&] {
                  cli.runs.clear();
                  dialog.runs.clear();
                  bare.runs.clear();
                  loopGaps.clear();
                  stops.clear();
              });

    std::printf("\n%d rounds after one warm-up round:\n", options.rounds);
    printSeries({&cli, &dialog, &bare});
    std::printf("  (%zu report lines of missing paths)\n", project.missingTests());
    // Each round's ratio against korvane-scan in that same round: median (lowest to highest).
    std::printf("\n  ratio dialog / korvane-scan:  wall %s, CPU %s  (goal: at most 2)\n",
                spread(ratios(dialog, {&cli}, false)).c_str(), spread(ratios(dialog, {&cli}, true)).c_str());
    std::vector<double> escapes, shown;
    for (const StopTiming& stop : stops) {
        escapes.push_back(stop.escapeToEndMs);
        shown.push_back(stop.shownShare * 100);
    }
    std::printf("  longest stall of the event loop during Process:  %s ms\n", spread(loopGaps).c_str());
    std::printf("  Escape a tenth into the report, until the run has ended:  %s ms (report shown: %s %%)\n",
                spread(escapes).c_str(), spread(shown, "%.0f").c_str());
}

void measurePutBack(const Options& options)
{
    std::vector<double> stalls, planStalls, plans, applies;
    for (int k = 0; k < options.stallRounds; ++k) {
        const PutBackFigures f = putBackInDialog(options.putBackFiles);
        if (f.putBack != options.putBackFiles)
            throw std::runtime_error("put back " + std::to_string(f.putBack) + " files, not all");
        stalls.push_back(f.longestStallMs);
        planStalls.push_back(f.planStallMs);
        plans.push_back(f.planMs);
        applies.push_back(f.applyMs);
    }
    std::printf("  longest stall putting back %zu files, from Put back to 1 s after the outcome:  %s ms"
                "  (goal: under 100)\n",
                options.putBackFiles, spread(stalls, "%.1f").c_str());
    std::printf("    (opening the dialog and its plan: %s ms, longest stall %s ms; links %s ms)\n",
                spread(plans, "%.0f").c_str(), spread(planStalls, "%.1f").c_str(), spread(applies, "%.0f").c_str());
}

void measureCancel(const Options& options)
{
    std::vector<double> stalls, planStalls, done;
    for (int k = 0; k < options.stallRounds; ++k) {
        const PutBackFigures f = putBackInDialog(options.cancelFiles, options.cancelAt);
        stalls.push_back(f.longestStallMs);
        planStalls.push_back(f.planStallMs);
        done.push_back(static_cast<double>(f.putBack));
    }
    std::printf("  longest stall putting back %zu files, Cancel at %zu, from Put back to 1 s after it stopped:"
                "  %s ms  (goal: under 100)\n",
                options.cancelFiles, options.cancelAt, spread(stalls, "%.1f").c_str());
    std::printf("    (put back before it stopped: %s; opening the dialog and its plan: longest stall %s ms)\n",
                spread(done, "%.0f").c_str(), spread(planStalls, "%.1f").c_str());
}

void measureReport(const Options& options)
{
    const std::vector<double> shares = {0.1, 0.3, 0.5, 0.7, 0.9};
    std::vector<double> stalls, escapes;
    std::size_t lines = 0;
    for (int k = 0; k < options.stallRounds; ++k) {
        const ReportFigures f = reportInDialog(options.reportLines, shares);
        stalls.push_back(f.longestStallMs);
        escapes.push_back(maximum(f.escapeMs));
        lines = f.lines;
    }
    std::printf("  longest stall during a scan whose report reaches %zu lines:  %s ms  (goal: under 100)\n", lines,
                spread(stalls, "%.1f").c_str());
    std::printf("  Escape to the end of the run, the slowest of 10, 30, 50, 70 and 90 %% into the report:"
                "  %s ms  (goal: under 200)\n",
                spread(escapes, "%.1f").c_str());
}

void measureSearch(const Options& options)
{
    std::vector<double> escapes, stalls, read;
    for (int k = 0; k < options.stallRounds; ++k) {
        const SearchFigures f = searchEscapeInDialog(options.searchFiles);
        escapes.push_back(f.escapeToWalkEndMs);
        stalls.push_back(f.longestStallMs);
        read.push_back(static_cast<double>(f.filesWhenStopped));
    }
    std::printf("  Escape during the walk of a %zu-file tree, until the walk has ended:  %s ms  (goal: under 200)\n",
                options.searchFiles, spread(escapes, "%.1f").c_str());
    std::printf("    (longest stall meanwhile %s ms; files read at Escape %s)\n", spread(stalls, "%.1f").c_str(),
                spread(read, "%.0f").c_str());
}

// The same appends, in the same rounds, to the report box and to what it was.
void measureBox(const Options& options)
{
    std::vector<double> boxFrame, boxRate, plainFrame, plainRate, ratio;
    for (int k = 0; k < options.stallRounds; ++k) {
        const BoxFigures box = appendToBox(options.boxLines, 2000, false);
        const BoxFigures plain = appendToBox(options.boxLines, 2000, true);
        boxFrame.push_back(box.slowestFrameMs);
        boxRate.push_back(box.framesPerSecond);
        plainFrame.push_back(plain.slowestFrameMs);
        plainRate.push_back(plain.framesPerSecond);
        ratio.push_back(box.framesPerSecond / plain.framesPerSecond);
    }
    std::printf("  %zu report lines, 2000 a frame, each frame drawn:\n", options.boxLines);
    std::printf("    report box:      slowest frame %s ms, %s frames a second\n", spread(boxFrame, "%.1f").c_str(),
                spread(boxRate, "%.0f").c_str());
    std::printf("    QPlainTextEdit:  slowest frame %s ms, %s frames a second\n", spread(plainFrame, "%.1f").c_str(),
                spread(plainRate, "%.0f").c_str());
    std::printf("    frames a second, report box / QPlainTextEdit in the same round:  %s\n",
                spread(ratio, "%.1f").c_str());
}

// The dialog's long work at archive scale, options.stallRounds times each;
// every figure is the median and the range over the rounds.
void measureStalls(const Options& options)
{
    std::printf("\nThe event loop while the dialogs work at archive scale (%d rounds each):\n", options.stallRounds);
    const std::pair<const char*, void (*)(const Options&)> parts[] = {
        {"putback", measurePutBack}, {"cancel", measureCancel}, {"report", measureReport},
        {"search", measureSearch},   {"box", measureBox},
    };
    for (const auto& [name, part] : parts) {
        if (options.part(name))
            part(options);
    }
}

int run(Options options)
{
    // Before the benchmark moves into its folder.
    if (!options.scan.empty())
        options.scan = std::filesystem::absolute(options.scan).string();
    const TempFolder folder("korvane-dialog", options.keep);
    // Stored paths are relative ("media/..."): both scans run in the folder.
    std::filesystem::current_path(folder.path());
    // Settings and journals of the folder's own, none of the machine's.
    for (const char* name : {"config", "state"}) {
        std::filesystem::create_directories(folder.path() + "/" + name);
        qputenv(name == std::string("config") ? "XDG_CONFIG_HOME" : "XDG_STATE_HOME",
                QByteArray::fromStdString(folder.path() + "/" + name));
    }
    qputenv("WINEPREFIX", QByteArray::fromStdString(folder.path() + "/no-wine"));
    std::printf("%s\n", machineLine().c_str());
    if (options.part("process"))
        measureProcess(options);
    measureStalls(options);
    if (options.keep)
        std::printf("kept %s\n", folder.path().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return korvane::bench::guardedMain("korvane-bench-dialog", [&] {
        const std::optional<Options> options = parse(argc, argv);
        if (!options) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        int qtArgc = 1;
        korvane::CScanApp app(qtArgc, argv);
        return run(*options);
    });
}
