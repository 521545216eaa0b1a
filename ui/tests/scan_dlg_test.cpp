// The main dialog: its template, Process, the file picker, the keys, the
// window menu with the about entry, and how a run is shown.

#include "test_support.h"

#include "ui/about_dlg.h"
#include "ui/framework/controls.h"
#include "ui/framework/system_menu.h"
#include "ui/resource_ids.h"
#include "ui/scan_app.h"
#include "ui/scan_dlg.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <map>
#include <optional>

using namespace korvane;

namespace {

template <class T>
T* item(ui::TemplateDialog& dialog, int id)
{
    return dynamic_cast<T*>(dialog.GetDlgItem(id));
}

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject {
public:
    std::map<const QObject*, int> paints;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[watched];
        return false;
    }
};

// A dialog that lets a test act in the middle of a run, at each existence test.
class ProbedScanDlg : public CScanDlg {
public:
    std::function<void(int call)> onProbe;
    int calls = 0;

protected:
    bool fileExists(std::string_view path) override
    {
        ++calls;
        if (onProbe)
            onProbe(calls);
        return CScanDlg::fileExists(path);
    }
};

QString lines(QString report)
{
    return report.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

class ScanDlgTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void templateLaysOutNineControlsInOrder();
    void controlsHaveTheStylesOfTheirTemplate();
    void dialogIsFixedSizeWithTitleFontAndIcons();
    void focusStartsOnProcessAndTabFollowsTemplate();

    void processListsMissingFilesOfTheSampleProject();
    void progressGoesBackToZeroOnlyAfterTheClosingBox();
    void secondRunReplacesTheReport();
    void unopenableFileLeavesEverythingAsItWas_data();
    void unopenableFileLeavesEverythingAsItWas();
    void damagedFileIsNamedInTheClosingBox();
    void settingsProblemsAreShownAndANameDecoderIsNeeded();

    void browseOffersProjectFilesAndKeepsTypedPathOnCancel();
    void browsePutsChosenFileInPathBox();

    void enterInPathBoxRunsProcess();
    void enterInReadOnlyBoxesDoesNothing();
    void enterOnAButtonPressesIt();
    void escapeAndCloseEndTheDialog();

    void windowMenuEndsWithTheAboutEntry();
    void menuKeyAndShiftF10OpenTheWindowMenuOnce();
    void aboutCommandIsComparedWithLowBitsMasked();
    void standardWindowCommandsStillWork();

    void runShowsChangesAtMostOncePerFrameAndAllAtTheEnd();
    void noInputIsTakenDuringARun();

    void initInstanceStartsWithTheGivenPath();

private:
    void typePath(const QString& path);
    void clickProcess();

    QTemporaryDir settingsRoot;
    QString configFile;
    CScanDlg* dlg = nullptr;
    uitest::ScriptedModals modals;
    std::optional<ui::ScopedModalHandler> scope;
};

void ScanDlgTest::initTestCase()
{
    // No drive mappings of the machine's own: the reports are those of the core.
    QVERIFY(settingsRoot.isValid());
    configFile = uitest::isolateSettings(settingsRoot.path());
}

void ScanDlgTest::init()
{
    modals = uitest::ScriptedModals();
    scope.emplace(modals);
    dlg = new CScanDlg;
    QVERIFY(dlg->Create());
    dlg->show();
    // Also on a display without a window manager, which activates nothing itself.
    QVERIFY(QTest::qWaitForWindowExposed(dlg));
    dlg->activateWindow();
    QApplication::setActiveWindow(dlg);
    QVERIFY(QTest::qWaitForWindowActive(dlg));
}

void ScanDlgTest::cleanup()
{
    delete dlg;
    dlg = nullptr;
    scope.reset();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void ScanDlgTest::typePath(const QString& path)
{
    auto* edit = item<QLineEdit>(*dlg, IDC_DVC_PATH);
    edit->clear();
    QTest::keyClicks(edit, path);
}

void ScanDlgTest::clickProcess()
{
    QTest::mouseClick(item<QPushButton>(*dlg, IDC_PROCESS), Qt::LeftButton);
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
        {"QPlainTextEdit", IDC_FILE_LIST, "", QRect(4, 86, 159, 125)},
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
    QVERIFY(report->isReadOnly());
    QCOMPARE(report->lineWrapMode(), QPlainTextEdit::NoWrap);
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
    QCOMPARE(box2->toPlainText(), lines(report));
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
    QTest::newRow("empty path box") << QString();
    QTest::newRow("no such file") << QStringLiteral("samples/no-such-project.dvc");
    QTest::newRow("a folder") << QStringLiteral("samples");
}

void ScanDlgTest::unopenableFileLeavesEverythingAsItWas()
{
    QFETCH(QString, path);
    // What an earlier run left on screen.
    dlg->clearReport();
    dlg->appendReport("[MainAV]\r\nC:\\earlier.avi\r\n");
    dlg->setStatus("[MainAV] 1 / 2");
    dlg->m_progress.setPos(57);
    const QString report = ui::windowText(dlg->GetDlgItem(IDC_FILE_LIST));

    typePath(path);
    clickProcess();

    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("Can not open dvc file"));
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

void ScanDlgTest::settingsProblemsAreShownAndANameDecoderIsNeeded()
{
    // A line of the configuration file that is not understood: the run
    // goes on and its closing box says so.
    QVERIFY(QDir().mkpath(QFileInfo(configFile).absolutePath()));
    QFile config(configFile);
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("colour = blue\n");
    config.close();
    typePath(QStringLiteral("samples/holiday.dvc"));
    clickProcess();
    QVERIFY(QFile::remove(configFile));
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("completed\nsamples/holiday.dvc\n\n") + configFile +
                                               QStringLiteral(", line 1: unknown setting 'colour'"));
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

void ScanDlgTest::browseOffersProjectFilesAndKeepsTypedPathOnCancel()
{
    typePath(QStringLiteral("typed/by hand.dvc"));
    modals.fileAnswers.push_back(QString());
    QTest::mouseClick(item<QPushButton>(*dlg, IDC_BROWSE), Qt::LeftButton);

    QCOMPARE(modals.fileRequests.size(), std::size_t(1));
    const ui::OpenFileRequest& request = modals.fileRequests.front();
    QCOMPARE(request.filters, QStringList({QStringLiteral("Rex Edit file (*.dvc)"), QStringLiteral("all(*.*)")}));
    QCOMPARE(request.initialName, QStringLiteral("*.dvc"));
    QCOMPARE(request.defaultSuffix, QStringLiteral("dvc"));
    QCOMPARE(item<QLineEdit>(*dlg, IDC_DVC_PATH)->text(), QStringLiteral("typed/by hand.dvc"));
    QCOMPARE(dlg->m_dvcPath, QStringLiteral("typed/by hand.dvc"));
    QVERIFY(modals.messages.empty());
}

void ScanDlgTest::browsePutsChosenFileInPathBox()
{
    // The dialog starts in the folder of the path in the box.
    typePath(QStringLiteral("samples/wedding.dvc"));
    const QString chosen = QDir::current().absoluteFilePath(QStringLiteral("samples/holiday.dvc"));
    modals.fileAnswers.push_back(chosen);
    QTest::mouseClick(item<QPushButton>(*dlg, IDC_BROWSE), Qt::LeftButton);
    QCOMPARE(modals.fileRequests.front().directory, QDir::current().absoluteFilePath(QStringLiteral("samples")));
    QCOMPARE(item<QLineEdit>(*dlg, IDC_DVC_PATH)->text(), chosen);

    // Picked, then processed as it stands.
    clickProcess();
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("completed\n") + chosen);
}

void ScanDlgTest::enterInPathBoxRunsProcess()
{
    typePath(QStringLiteral("samples/holiday.dvc"));
    auto* edit = item<QLineEdit>(*dlg, IDC_DVC_PATH);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("completed\nsamples/holiday.dvc"));
    QVERIFY(dlg->isVisible());

    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(modals.messages.size(), std::size_t(2));
    QVERIFY(dlg->isVisible());
}

void ScanDlgTest::enterInReadOnlyBoxesDoesNothing()
{
    typePath(QStringLiteral("samples/holiday.dvc"));
    for (int id : {IDC_FILE_LIST, IDC_STATUS}) {
        QWidget* box = dlg->GetDlgItem(id);
        box->setFocus();
        QCOMPARE(QApplication::focusWidget(), box);
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->result(), 0);
    }
    QVERIFY(modals.messages.empty());
}

void ScanDlgTest::enterOnAButtonPressesIt()
{
    auto* browse = item<QPushButton>(*dlg, IDC_BROWSE);
    browse->setFocus();
    QTest::keyClick(browse, Qt::Key_Return);
    QCOMPARE(modals.fileRequests.size(), std::size_t(1));
    QVERIFY(modals.messages.empty());
    QVERIFY(dlg->isVisible());
}

void ScanDlgTest::escapeAndCloseEndTheDialog()
{
    QTest::keyClick(item<QLineEdit>(*dlg, IDC_DVC_PATH), Qt::Key_Escape);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), IDCANCEL);

    dlg->setResult(0);
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg));
    QVERIFY(dlg->close());
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), IDCANCEL);
}

void ScanDlgTest::windowMenuEndsWithTheAboutEntry()
{
    // A right click on the background, away from every control.
    const QPoint background = dlg->dialogUnits().toPixels(QRect(1, 1, 0, 0)).topLeft();
    QCOMPARE(dlg->childAt(background), nullptr);
    modals.menuChoice = IDM_ABOUTBOX;
    QContextMenuEvent click(QContextMenuEvent::Mouse, background, dlg->mapToGlobal(background));
    QApplication::sendEvent(dlg, &click);

    QCOMPARE(modals.menus.size(), std::size_t(1));
    const uitest::ShownMenu& menu = modals.menus.front();
    QVERIFY(menu.texts.size() >= 3);
    const qsizetype last = menu.texts.size() - 1;
    QCOMPARE(menu.texts[last - 1], QString());
    QCOMPARE(menu.texts[last], QStringLiteral("korvane version information(&A)..."));
    QCOMPARE(QKeySequence::mnemonic(menu.texts[last]), QKeySequence(Qt::ALT | Qt::Key_A));
    QCOMPARE(menu.commands.back(), IDM_ABOUTBOX);
    QVERIFY(std::find(menu.commands.begin(), menu.commands.end(), ui::kScClose) != menu.commands.end());

    // The entry opened the about box, which ended with the main dialog untouched.
    QCOMPARE(modals.dialogTitles, std::vector<QString>({QStringLiteral("korvane version information")}));
    QVERIFY(dlg->isVisible());

    // Right clicks on the labels reach the dialog too; the boxes keep menus of their own.
    QContextMenuEvent onLabel(QContextMenuEvent::Mouse, QPoint(1, 1), dlg->controls()[1]->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(dlg->controls()[1], &onLabel);
    QCOMPARE(modals.menus.size(), std::size_t(2));
}

void ScanDlgTest::menuKeyAndShiftF10OpenTheWindowMenuOnce()
{
    QWidget* process = dlg->GetDlgItem(IDC_PROCESS);
    process->setFocus();
    QTest::keyClick(process, Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(modals.menus.size(), std::size_t(1));
    QTest::keyClick(process, Qt::Key_Menu);
    QCOMPARE(modals.menus.size(), std::size_t(2));

    // Where the window system turns the Menu key into a context menu event
    // of its own, the key does not open a second menu.
    QTest::keyPress(process, Qt::Key_Menu);
    QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, QPoint(2, 2), process->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(process, &fromKey);
    QTest::keyRelease(process, Qt::Key_Menu);
    QCOMPARE(modals.menus.size(), std::size_t(3));
    QCOMPARE(modals.menus.back().texts.back(), QStringLiteral("korvane version information(&A)..."));
    QVERIFY(modals.dialogTitles.empty());
}

void ScanDlgTest::aboutCommandIsComparedWithLowBitsMasked()
{
    for (unsigned id = 0x0010; id <= 0x001F; ++id) {
        modals.dialogTitles.clear();
        dlg->OnSysCommand(id, 0);
        QCOMPARE(modals.dialogTitles.size(), std::size_t(1));
    }
    // The mask also clears everything above bit 15.
    modals.dialogTitles.clear();
    dlg->OnSysCommand(0x10010, 0);
    QCOMPARE(modals.dialogTitles.size(), std::size_t(1));

    modals.dialogTitles.clear();
    for (unsigned id : {0x0000u, 0x000Fu, 0x0020u, 0x0110u})
        dlg->OnSysCommand(id, 0);
    QVERIFY(modals.dialogTitles.empty());
    QVERIFY(dlg->isVisible());
}

void ScanDlgTest::standardWindowCommandsStillWork()
{
    dlg->OnSysCommand(ui::kScMinimize, 0);
    QTRY_VERIFY(dlg->isMinimized());
    dlg->showNormal();
    dlg->OnSysCommand(ui::kScClose, 0);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), IDCANCEL);
    QVERIFY(modals.dialogTitles.empty());
}

void ScanDlgTest::runShowsChangesAtMostOncePerFrameAndAllAtTheEnd()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("four.dvc"));
    uitest::writeProject(path, testkit::buildProject(uitest::projectMissing(4)));

    auto* probed = new ProbedScanDlg;
    QVERIFY(probed->Create());
    probed->show();
    auto now = std::chrono::steady_clock::now();
    probed->setPacerClock([&now] { return now; });
    QVERIFY(QTest::qWaitForWindowExposed(probed));
    QCoreApplication::processEvents();
    auto* box = item<ui::MultiLineEdit>(*probed, IDC_FILE_LIST);
    auto* status = item<QLineEdit>(*probed, IDC_STATUS);
    auto* bar = item<QProgressBar>(*probed, IDC_PROGRESS);
    PaintCounter counter;
    for (QWidget* control : std::initializer_list<QWidget*>{box->viewport(), status, bar})
        control->installEventFilter(&counter);
    std::map<const QObject*, int> paintsBefore;
    QStringList seen;
    probed->onProbe = [&](int call) {
        seen << box->windowText();
        if (call == 2) {
            now += std::chrono::seconds(1);
            paintsBefore = counter.paints;
        }
        if (call == 3) {
            // ... and drawn at once, with nothing else to wait for.
            for (const QObject* control : {static_cast<QObject*>(box->viewport()), static_cast<QObject*>(status),
                                           static_cast<QObject*>(bar)})
                QVERIFY(counter.paints[control] > paintsBefore[control]);
            // Painted once, at the first change after the frame had passed:
            // the second path, before its line end and its status.
            QVERIFY(box->windowText().endsWith(QLatin1String("clip1.avi")));
            QCOMPARE(status->text(), QStringLiteral("[MainAV] 1 / 4"));
            QCOMPARE(probed->m_status, status->text());
            QCOMPARE(item<QProgressBar>(*probed, IDC_PROGRESS)->value(), 10);
        }
    };
    probed->m_dvcPath = path;
    probed->UpdateData(false);
    probed->OnProcess();

    QCOMPARE(probed->calls, 4);
    // The clock stood still until the second test: nothing after the empty box.
    QCOMPARE(seen[0], QString());
    QCOMPARE(seen[1], QString());
    std::string expected;
    uitest::scanForReference(path, &expected);
    QCOMPARE(box->windowText(), QString::fromStdString(expected));
    QCOMPARE(probed->m_fileList, QString::fromStdString(expected));
    // What was shown during the run was the beginning of the report.
    QVERIFY(probed->m_fileList.startsWith(seen[2]));
    QVERIFY(seen[2].endsWith(QLatin1String("clip1.avi")));
    delete probed;
}

void ScanDlgTest::noInputIsTakenDuringARun()
{
    auto* probed = new ProbedScanDlg;
    QVERIFY(probed->Create());
    probed->show();
    QApplication::setActiveWindow(probed);
    QVERIFY(QTest::qWaitForWindowActive(probed));
    probed->onProbe = [&](int call) {
        if (call != 1)
            return;
        QVERIFY(probed->running());
        QTest::mouseClick(item<QPushButton>(*probed, IDC_PROCESS), Qt::LeftButton);
        QTest::keyClick(probed->GetDlgItem(IDC_PROCESS), Qt::Key_Escape);
        QTest::keyClicks(probed->GetDlgItem(IDC_DVC_PATH), QStringLiteral("xyz"));
        QVERIFY(!probed->close());
    };
    probed->m_dvcPath = QStringLiteral("samples/wedding.dvc");
    probed->UpdateData(false);
    QTest::mouseClick(item<QPushButton>(*probed, IDC_PROCESS), Qt::LeftButton);

    QCOMPARE(modals.messages.size(), std::size_t(1));
    QVERIFY(probed->isVisible());
    QCOMPARE(item<QLineEdit>(*probed, IDC_DVC_PATH)->text(), QStringLiteral("samples/wedding.dvc"));
    // Input is taken again once the run is over.
    QVERIFY(!probed->running());
    QTest::keyClick(probed->GetDlgItem(IDC_PROCESS), Qt::Key_Escape);
    QVERIFY(!probed->isVisible());
    delete probed;
}

void ScanDlgTest::initInstanceStartsWithTheGivenPath()
{
    auto* app = dynamic_cast<CScanApp*>(QCoreApplication::instance());
    QVERIFY(app);
    QString pathInBox;
    QString title;
    QWidget* mainWnd = nullptr;
    modals.onDialog = [&](QDialog& dialog) {
        title = dialog.windowTitle();
        pathInBox = ui::windowText(static_cast<ui::TemplateDialog&>(dialog).GetDlgItem(IDC_DVC_PATH));
        mainWnd = app->m_pMainWnd;
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return dialog.result();
    };
    QCOMPARE(app->InitInstance(QStringLiteral("samples/holiday.dvc")), false);
    QCOMPARE(title, QStringLiteral("korvane version1.02"));
    QCOMPARE(pathInBox, QStringLiteral("samples/holiday.dvc"));
    QVERIFY(mainWnd);
    QCOMPARE(app->m_pMainWnd, nullptr);

    QCOMPARE(app->InitInstance(), false);
    QCOMPARE(pathInBox, QString());
}

int main(int argc, char** argv)
{
    korvane::CScanApp app(argc, argv);
    ScanDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "scan_dlg_test.moc"
