// The main dialog: its template, Process with its report and closing
// boxes, and how a run is shown.

#include "test_support.h"

#include "ui/framework/controls.h"
#include "ui/framework/multi_line_edit.h"
#include "ui/resource_ids.h"
#include "ui/scan_app.h"
#include "ui/scan_dlg.h"
#include "ui/scan_relay.h"

#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QCursor>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

using namespace korvane;

namespace {

// Holds a run's scan thread in an existence test until the test lets it go.
class Gate {
public:
    void holdHere()
    {
        std::unique_lock lock(mutex_);
        reached_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    bool reached()
    {
        const std::lock_guard lock(mutex_);
        return reached_;
    }
    void open()
    {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false;
    bool open_ = false;
};

// A dialog whose run's scan is held in its existence test number `holdAt`.
class ProbedScanDlg : public CScanDlg {
public:
    int holdAt = 0;
    Gate gate;
    std::atomic<int> calls{0};

    // The scan must not be held while the dialog waits for it to end.
    ~ProbedScanDlg() override { gate.open(); }

protected:
    bool fileExists(std::string_view path) override
    {
        if (++calls == holdAt)
            gate.holdHere();
        return CScanDlg::fileExists(path);
    }
};

QString lines(QString report)
{
    return report.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

using uitest::item;

class ScanDlgTest : public QObject, private uitest::DialogFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void templateLaysOutNineControlsInOrder();
    void controlsHaveTheStylesOfTheirTemplate();
    void dialogIsFixedSizeWithTitleFontAndIcons();
    void focusStartsOnProcessAndTabFollowsTemplate();
    void readOnlyBoxesShowTheFocus();

    void processListsMissingFilesOfTheSampleProject();
    void progressGoesBackToZeroOnlyAfterTheClosingBox();
    void secondRunReplacesTheReport();
    void unopenableFileLeavesEverythingAsItWas_data();
    void unopenableFileLeavesEverythingAsItWas();
    void damagedFileIsNamedInTheClosingBox();
    void caretStaysAtTheTopOfTheReportAfterARun();
    void settingsProblemsAreShownAndANameDecoderIsNeeded();

    void runIsShownAtMostOncePerFrameAndWhollyAtTheEnd();
    void runStopsAtOnceAndKeepsItsReport_data();
    void runStopsAtOnceAndKeepsItsReport();
    void relayHandsOverInOrderAndBoundsWhatWaits();
};

void ScanDlgTest::initTestCase()
{
    isolate();
}

void ScanDlgTest::init()
{
    openDialog();
}

void ScanDlgTest::cleanup()
{
    closeDialog();
}

void ScanDlgTest::templateLaysOutNineControlsInOrder()
{
    struct Expected {
        const char* type;
        int id;
        const char* text;
        QRect units;
    };
    const Expected expected[] = {
        {"QPushButton", IDC_PROCESS, "Process", QRect(4, 43, 38, 18)},
        {"QLabel", IDC_STATIC, "Step1: Select dvc file", QRect(4, 4, 159, 8)},
        {"QPushButton", IDC_BROWSE, "...", QRect(152, 15, 11, 12)},
        {"QLineEdit", IDC_DVC_PATH, "", QRect(4, 15, 144, 12)},
        {"QLabel", IDC_STATIC, "Step2:", QRect(4, 33, 159, 8)},
        {"QAbstractScrollArea", IDC_FILE_LIST, "", QRect(4, 86, 159, 125)},
        {"QProgressBar", IDC_PROGRESS, "", QRect(45, 43, 118, 13)},
        {"QLineEdit", IDC_STATUS, "", QRect(45, 57, 118, 13)},
        {"QLabel", IDC_STATIC, "Files used in dvc", QRect(4, 77, 159, 8)},
    };
    const auto& controls = dlg->controls();
    QCOMPARE(controls.size(), std::size(expected));
    for (std::size_t k = 0; k < controls.size(); ++k) {
        const Expected& e = expected[k];
        QWidget* control = controls[k];
        QVERIFY2(control->inherits(e.type), e.text);
        QCOMPARE(control->property("controlId").toInt(), e.id);
        if (e.id != IDC_STATIC)
            QCOMPARE(dlg->GetDlgItem(e.id), control);
        QCOMPARE(ui::windowText(control), QString::fromUtf8(e.text));
        QCOMPARE(control->geometry(), dlg->dialogUnits().toPixels(e.units));
    }
    QCOMPARE(dlg->GetDlgItem(IDOK), nullptr);
    QCOMPARE(dlg->GetDlgItem(IDCANCEL), nullptr);
}

void ScanDlgTest::controlsHaveTheStylesOfTheirTemplate()
{
    auto* path = item<QLineEdit>(*dlg, IDC_DVC_PATH);
    QVERIFY(!path->isReadOnly());
    QVERIFY(path->hasFrame());

    auto* report = item<ui::MultiLineEdit>(*dlg, IDC_FILE_LIST);
    QVERIFY(report);
    QCOMPARE(report->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(report->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(report->frameShape() != QFrame::NoFrame);

    auto* status = item<QLineEdit>(*dlg, IDC_STATUS);
    QVERIFY(status->isReadOnly());
    QVERIFY(!status->hasFrame());
    QVERIFY(dynamic_cast<ui::EdgedLineEdit*>(status));

    auto* bar = item<QProgressBar>(*dlg, IDC_PROGRESS);
    QVERIFY(!bar->isTextVisible());
    QCOMPARE(bar->focusPolicy(), Qt::NoFocus);

    // Qt marks a push button as default while it has the focus; away from
    // the buttons none is.
    path->setFocus();
    for (int id : {IDC_PROCESS, IDC_BROWSE})
        QVERIFY(!item<QPushButton>(*dlg, id)->isDefault());
}

void ScanDlgTest::dialogIsFixedSizeWithTitleFontAndIcons()
{
    QCOMPARE(dlg->windowTitle(), QStringLiteral("korvane version1.02"));
    // The title carries the version as "major.minor patch" without the second dot.
    QString version = QStringLiteral(KORVANE_VERSION);
    version.remove(version.lastIndexOf(QLatin1Char('.')), 1);
    QVERIFY(dlg->windowTitle().endsWith(version));

    const QSize size = dlg->dialogUnits().toPixels(QSize(167, 215));
    QCOMPARE(dlg->size(), size);
    QCOMPARE(dlg->minimumSize(), size);
    QCOMPARE(dlg->maximumSize(), size);
    const Qt::WindowFlags flags = dlg->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);

    // The font is the Japanese proportional Gothic where one exists, and
    // the units are its own.
    const QStringList gothic = {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                QStringLiteral("Noto Sans CJK JP")};
    const bool haveGothic = std::any_of(gothic.begin(), gothic.end(),
                                        [](const QString& f) { return QFontDatabase::families().contains(f); });
    if (haveGothic) {
        QVERIFY2(gothic.contains(dlg->font().family()), qPrintable(dlg->font().family()));
        QCOMPARE(dlg->font().pointSize(), 9);
    }
    const ui::DialogUnits own = ui::DialogUnits::fromFont(dlg->font());
    QCOMPARE(dlg->dialogUnits().baseX(), own.baseX());
    QCOMPARE(dlg->dialogUnits().baseY(), own.baseY());

    for (const QIcon& icon : {dlg->windowIcon(), QApplication::windowIcon()}) {
        const QList<QSize> sizes = icon.availableSizes();
        QVERIFY(sizes.contains(QSize(32, 32)));
        QVERIFY(sizes.contains(QSize(16, 16)));
    }
}

void ScanDlgTest::focusStartsOnProcessAndTabFollowsTemplate()
{
    QCOMPARE(QApplication::focusWidget(), dlg->GetDlgItem(IDC_PROCESS));
    const int order[] = {IDC_BROWSE, IDC_DVC_PATH, IDC_FILE_LIST, IDC_STATUS, IDC_PROCESS};
    for (int id : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dlg->GetDlgItem(id));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), dlg->GetDlgItem(IDC_STATUS));
}

void ScanDlgTest::readOnlyBoxesShowTheFocus()
{
    // Empty, so that no caret or selection could be what shows it: the frame does.
    for (int id : {IDC_FILE_LIST, IDC_STATUS}) {
        QWidget* box = dlg->GetDlgItem(id);
        dlg->GetDlgItem(IDC_PROCESS)->setFocus();
        QVERIFY(!box->hasFocus());
        const QImage without = box->grab().toImage();
        box->setFocus(Qt::TabFocusReason);
        QVERIFY(box->hasFocus());
        const QImage with = box->grab().toImage();
        QVERIFY2(with != without, qPrintable(QString::number(id)));
        QVERIFY(with.pixelColor(0, with.height() / 2) == box->palette().color(QPalette::Highlight));
    }
}

void ScanDlgTest::processListsMissingFilesOfTheSampleProject()
{
    const QString path = QStringLiteral("samples/wedding.dvc");
    std::string expected;
    QVERIFY(uitest::scanForReference(path, &expected));
    QVERIFY(expected.find(".avi\r\n") != std::string::npos); // the sample misses some media

    typePath(path);
    clickProcess();

    QCOMPARE(modals.messages.size(), std::size_t(1));
    const uitest::ShownMessage& box = modals.messages.front();
    // The sample still names a clip on the editor's D: drive, which has no mapping here.
    QCOMPARE(box.text, QStringLiteral("completed\nsamples/wedding.dvc\n\n"
                                      "Drive D: has no mapping, so its files were not looked for."));
    QCOMPARE(box.caption, QStringLiteral("korvane"));
    QCOMPARE(box.icon, ui::MessageIcon::None);
    QCOMPARE(box.owner, dlg);

    const QString report = QString::fromStdString(expected);
    QCOMPARE(dlg->m_fileList, report);
    auto* box2 = item<ui::MultiLineEdit>(*dlg, IDC_FILE_LIST);
    QCOMPARE(box2->windowText(), report);
    QStringList shown;
    for (qsizetype k = 0; k < box2->lineCount(); ++k)
        shown << box2->shownLine(k);
    QCOMPARE(shown.join(QLatin1Char('\n')), lines(report));
    QCOMPARE(dlg->m_status, QString());
    QCOMPARE(item<QLineEdit>(*dlg, IDC_STATUS)->text(), QString());
    QCOMPARE(dlg->m_dvcPath, path);
}

void ScanDlgTest::progressGoesBackToZeroOnlyAfterTheClosingBox()
{
    int barDuringBox = -1;
    QString statusDuringBox = QStringLiteral("unset");
    modals.onMessage = [&](const uitest::ShownMessage&) {
        barDuringBox = item<QProgressBar>(*dlg, IDC_PROGRESS)->value();
        statusDuringBox = item<QLineEdit>(*dlg, IDC_STATUS)->text();
    };
    typePath(QStringLiteral("samples/holiday.dvc"));
    clickProcess();
    QCOMPARE(barDuringBox, 200);
    QCOMPARE(statusDuringBox, QString());
    QCOMPARE(item<QProgressBar>(*dlg, IDC_PROGRESS)->value(), 0);
    QCOMPARE(item<QProgressBar>(*dlg, IDC_PROGRESS)->maximum(), 200);
}

void ScanDlgTest::secondRunReplacesTheReport()
{
    std::string holiday, wedding;
    QVERIFY(uitest::scanForReference(QStringLiteral("samples/holiday.dvc"), &holiday));
    QVERIFY(uitest::scanForReference(QStringLiteral("samples/wedding.dvc"), &wedding));
    QVERIFY(holiday != wedding);

    typePath(QStringLiteral("samples/wedding.dvc"));
    clickProcess();
    typePath(QStringLiteral("samples/holiday.dvc"));
    clickProcess();
    QCOMPARE(modals.messages.size(), std::size_t(2));
    QCOMPARE(dlg->m_fileList, QString::fromStdString(holiday));
    QCOMPARE(ui::windowText(dlg->GetDlgItem(IDC_FILE_LIST)), QString::fromStdString(holiday));
}

void ScanDlgTest::unopenableFileLeavesEverythingAsItWas_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty path box") << QString() << QStringLiteral("No such file or directory");
    QTest::newRow("no such file") << QStringLiteral("samples/no-such-project.dvc")
                                  << QStringLiteral("No such file or directory");
    QTest::newRow("a folder") << QStringLiteral("samples") << QStringLiteral("Is a directory");
}

void ScanDlgTest::unopenableFileLeavesEverythingAsItWas()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    // What an earlier run left on screen.
    dlg->clearReport();
    dlg->appendReport("[MainAV]\r\nC:\\earlier.avi\r\n");
    dlg->setStatus("[MainAV] 1 / 2");
    dlg->m_progress.setPos(57);
    const QString report = ui::windowText(dlg->GetDlgItem(IDC_FILE_LIST));

    typePath(path);
    clickProcess();

    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("Can not open dvc file\n") + reason);
    QCOMPARE(modals.messages.front().caption, QStringLiteral("korvane"));
    QCOMPARE(modals.messages.front().icon, ui::MessageIcon::Exclamation);
    QCOMPARE(ui::windowText(dlg->GetDlgItem(IDC_FILE_LIST)), report);
    QCOMPARE(report, QStringLiteral("[MainAV]\r\nC:\\earlier.avi\r\n"));
    QCOMPARE(item<QLineEdit>(*dlg, IDC_STATUS)->text(), QStringLiteral("[MainAV] 1 / 2"));
    QCOMPARE(item<QProgressBar>(*dlg, IDC_PROGRESS)->value(), 57);
    QCOMPARE(item<QLineEdit>(*dlg, IDC_DVC_PATH)->text(), path);
}

void ScanDlgTest::damagedFileIsNamedInTheClosingBox()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("cut.dvc"));
    std::vector<std::uint8_t> bytes = testkit::buildProject(uitest::projectMissing(6));
    // The header (24 bytes at this version), three whole movies and a part of the fourth.
    bytes.resize(bytes.size() / 2);
    uitest::writeProject(path, bytes);
    const ScanResult reference = uitest::scanForReference(path);
    QVERIFY(reference.damaged);
    const QString sentence = QString::fromStdString(describeDamage(reference));
    QVERIFY2(sentence.contains(QLatin1String("MainAV")), qPrintable(sentence));

    typePath(path);
    clickProcess();
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("completed\n") + path + QStringLiteral("\n\n") + sentence);
    QCOMPARE(modals.messages.front().icon, ui::MessageIcon::None);

    // A whole file says nothing of damage.
    modals.messages.clear();
    uitest::writeProject(path, testkit::buildProject(uitest::projectMissing(6)));
    clickProcess();
    QCOMPARE(modals.messages.front().text, QStringLiteral("completed\n") + path);
}

void ScanDlgTest::caretStaysAtTheTopOfTheReportAfterARun()
{
    // A report far longer than the box: the view stays at its top, and so
    // does the caret, so that keys in the box start from what is seen.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.dvc"));
    uitest::writeProject(path, testkit::buildProject(uitest::projectMissing(300)));
    typePath(path);
    clickProcess();
    auto* box = item<ui::MultiLineEdit>(*dlg, IDC_FILE_LIST);
    QVERIFY(box->verticalScrollBar()->maximum() > 0);
    QCOMPARE(box->verticalScrollBar()->value(), 0);
    QCOMPARE(box->cursorPosition(), 0);
}

void ScanDlgTest::settingsProblemsAreShownAndANameDecoderIsNeeded()
{
    // A line of the configuration file that is not understood, and a
    // mapping to a folder that is not there: the run goes on and its
    // closing box says so.
    QVERIFY(QDir().mkpath(QFileInfo(configFile).absolutePath()));
    const QString unmounted = QFileInfo(configFile).absolutePath() + QStringLiteral("/unmounted");
    QFile config(configFile);
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("colour = blue\nmap D: = " + QFile::encodeName(unmounted) + "\n");
    config.close();
    typePath(QStringLiteral("samples/holiday.dvc"));
    clickProcess();
    QVERIFY(QFile::remove(configFile));
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text,
             QStringLiteral("completed\nsamples/holiday.dvc\n\n") + configFile +
                 QStringLiteral(", line 1: unknown setting 'colour'\ndrive D: is mapped to ") + unmounted +
                 QStringLiteral(", which does not exist; is the disk mounted?"));
    const QString report = ui::windowText(dlg->GetDlgItem(IDC_FILE_LIST));
    QVERIFY(!report.isEmpty());

    // Without a code page to read the stored names in there is no run: a
    // warning, and the last run's report stays.
    modals.messages.clear();
    dlg->setDecoderOpener([](std::string_view) -> std::optional<TextDecoder> { return std::nullopt; });
    clickProcess();
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().icon, ui::MessageIcon::Exclamation);
    QVERIFY2(modals.messages.front().text.contains(QLatin1String("iconv")), qPrintable(modals.messages.front().text));
    QCOMPARE(ui::windowText(dlg->GetDlgItem(IDC_FILE_LIST)), report);
    QVERIFY(!dlg->running());
}

void ScanDlgTest::runIsShownAtMostOncePerFrameAndWhollyAtTheEnd()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fifty.dvc"));
    uitest::writeProject(path, testkit::buildProject(uitest::projectMissing(50)));
    // The clock stands still: after the first change no frame is ever due
    // again, so the rest can only come at the end.
    const auto now = std::chrono::steady_clock::now();
    dlg->setPacerClock([now] { return now; });
    auto* box = item<ui::MultiLineEdit>(*dlg, IDC_FILE_LIST);
    const int changesBefore = box->textChanges();

    typePath(path);
    clickProcess();

    std::string expected;
    uitest::scanForReference(path, &expected);
    QCOMPARE(box->windowText(), QString::fromStdString(expected));
    QCOMPARE(dlg->m_fileList, QString::fromStdString(expected));
    QCOMPARE(item<QProgressBar>(*dlg, IDC_PROGRESS)->value(), 0);
    // Emptied, the first piece, the rest: not a change for each of the 100 pieces.
    const int boxChanges = box->textChanges() - changesBefore;
    QVERIFY2(boxChanges <= 3, qPrintable(QString::number(boxChanges)));
}

void ScanDlgTest::runStopsAtOnceAndKeepsItsReport_data()
{
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<bool>("ends");
    QTest::newRow("Escape") << QStringList{QStringLiteral("escape")} << false;
    QTest::newRow("close button") << QStringList{QStringLiteral("close")} << true;
    QTest::newRow("Close of the window menu") << QStringList{QStringLiteral("menu close")} << true;
    QTest::newRow("Escape, then close button")
        << QStringList{QStringLiteral("escape"), QStringLiteral("close")} << true;
}

void ScanDlgTest::runStopsAtOnceAndKeepsItsReport()
{
    QFETCH(QStringList, requests);
    QFETCH(bool, ends);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("four.dvc"));
    uitest::writeProject(path, testkit::buildProject(uitest::projectMissing(4)));
    std::string reference;
    uitest::scanForReference(path, &reference);
    // The report up to the second clip, whose test is held: the entry is
    // finished, and no other begun.
    const std::string second = "clip1.avi\r\n";
    const QString expected = QString::fromStdString(reference.substr(0, reference.find(second) + second.size()));

    auto probed = std::make_unique<ProbedScanDlg>();
    probed->holdAt = 2;
    // Real time, moved on at will.
    std::chrono::steady_clock::duration later{};
    probed->setPacerClock([&later] { return std::chrono::steady_clock::now() + later; });
    QVERIFY(probed->Create());
    probed->show();
    QApplication::setActiveWindow(probed.get());
    QVERIFY(QTest::qWaitForWindowActive(probed.get()));
    probed->m_dvcPath = path;
    probed->UpdateData(false);
    auto* process = item<QPushButton>(*probed, IDC_PROCESS);
    QTest::mouseClick(process, Qt::LeftButton);
    QTRY_VERIFY(probed->gate.reached());

    // Held: Process is off, the cursor busy, what came before is shown,
    // and the dialog takes input.
    QVERIFY(probed->running());
    QVERIFY(!process->isEnabled());
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    QTRY_COMPARE(item<QLineEdit>(*probed, IDC_STATUS)->text(), QStringLiteral("[MainAV] 1 / 4"));
    QVERIFY(ui::windowText(probed->GetDlgItem(IDC_FILE_LIST)).endsWith(QLatin1String("clip0.avi\r\n")));
    QTest::keyClicks(probed->GetDlgItem(IDC_DVC_PATH), QStringLiteral(".bak"));
    QCOMPARE(item<QLineEdit>(*probed, IDC_DVC_PATH)->text(), path + QStringLiteral(".bak"));

    for (const QString& request : requests) {
        if (request == QLatin1String("escape"))
            QTest::keyClick(probed.get(), Qt::Key_Escape);
        else if (request == QLatin1String("close"))
            QVERIFY(!probed->close()); // the window waits for the scan to stop
        else
            probed->OnSysCommand(ui::kScClose, 0);
        QVERIFY(probed->isVisible());
        QVERIFY(probed->running());
    }
    probed->gate.open();
    QVERIFY(uitest::waitForRun(*probed));

    QCOMPARE(probed->calls.load(), 2);
    QCOMPARE(ui::windowText(probed->GetDlgItem(IDC_FILE_LIST)), expected);
    QCOMPARE(probed->m_fileList, expected);
    QCOMPARE(probed->lastMissing().size(), std::size_t(2));
    QCOMPARE(item<QLineEdit>(*probed, IDC_STATUS)->text(), QStringLiteral("Stopped after [MainAV] 2 / 4"));
    // Shown from its beginning, the word that matters, however narrow the box.
    QCOMPARE(item<QLineEdit>(*probed, IDC_STATUS)->cursorPosition(), 0);
    QCOMPARE(item<QLineEdit>(*probed, IDC_DVC_PATH)->text(), path + QStringLiteral(".bak"));
    QVERIFY(modals.messages.empty());
    QVERIFY(process->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(probed->isVisible(), !ends);
    if (ends) {
        QCOMPARE(probed->result(), IDCANCEL);
    } else {
        // Escape pressed again just after the stop keeps what it stopped;
        // later, outside a run, it ends the dialog, as always.
        QTest::keyClick(probed.get(), Qt::Key_Escape);
        QVERIFY(probed->isVisible());
        later += ui::StopGrace::kPeriod;
        QTest::keyClick(probed.get(), Qt::Key_Escape);
        QVERIFY(!probed->isVisible());
    }
}

void ScanDlgTest::relayHandsOverInOrderAndBoundsWhatWaits()
{
    // The scan thread writes far more than may wait; the taker takes
    // whenever it is woken, as the dialog does once a frame.
    const std::string line(4000, 'x');
    constexpr int kLines = 4000;
    std::mutex mutex;
    std::condition_variable wakeUp;
    bool woken = false;
    bool done = false;
    ui::ScanRelay relay([](std::string_view) { return true; }, nullptr, [&] {
        const std::lock_guard lock(mutex);
        woken = true;
        wakeUp.notify_all();
    });
    std::thread scan([&] {
        ScanFeedback& feedback = relay;
        feedback.resetProgress();
        feedback.appendReport("dropped");
        feedback.clearReport();
        for (int k = 0; k < kLines; ++k) {
            feedback.appendReport(line);
            feedback.entryStatus("MainAV", k + 1, kLines);
            if (k % 100 == 99)
                feedback.stepProgress();
        }
        feedback.setStatus("");
        relay.finish();
        const std::lock_guard lock(mutex);
        done = true;
        wakeUp.notify_all();
    });

    std::string report;
    std::size_t largest = 0;
    bool cleared = false;
    bool reset = false;
    int steps = 0;
    QString status = QStringLiteral("unset");
    for (;;) {
        ui::RelayedChange change = relay.take();
        if (change.empty()) {
            std::unique_lock lock(mutex);
            // Once the scan is done, what it left was handed over before.
            if (done) {
                change = relay.take();
                if (change.empty())
                    break;
            } else {
                wakeUp.wait(lock, [&] { return woken || done; });
                woken = false;
                continue;
            }
        }
        largest = std::max(largest, change.report.size());
        if (change.reportCleared) {
            cleared = true;
            report.clear();
        }
        report += change.report;
        if (change.statusChanged)
            status = QString::fromStdString(change.status);
        if (change.progressReset) {
            reset = true;
            steps = 0;
        }
        steps += change.steps;
    }
    scan.join();

    QVERIFY(cleared);
    QVERIFY(reset);
    QCOMPARE(report.size(), line.size() * kLines);
    QVERIFY(report == [&] {
        std::string all;
        for (int k = 0; k < kLines; ++k)
            all += line;
        return all;
    }());
    QCOMPARE(steps, kLines / 100);
    QCOMPARE(status, QString());
    // What waits stays within twice the bound and a line.
    QVERIFY2(largest <= 2 * (ui::ScanRelay::kMaxWaitingText + line.size()), qPrintable(QString::number(largest)));
}

int main(int argc, char** argv)
{
    korvane::CScanApp app(argc, argv);
    ScanDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "scan_dlg_test.moc"
