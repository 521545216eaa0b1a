// The small layer under the dialogs: dialog units, data exchange, the
// controls Qt has no match for, the window menu, the file dialog, the
// pacing of repaints and the decoding of stored names.

#include "test_support.h"

#include "ui/framework/controls.h"
#include "ui/framework/data_exchange.h"
#include "ui/framework/dialog_units.h"
#include "ui/framework/line_text.h"
#include "ui/framework/multi_line_edit.h"
#include "ui/framework/open_file_dialog.h"
#include "ui/framework/system_menu.h"
#include "ui/framework/template_dialog.h"
#include "ui/missing_paths.h"
#include "ui/repaint_pacer.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"

#include <QClipboard>
#include <QComboBox>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

using namespace korvane;

namespace {

// A dialog of the main template with one member bound to the path box.
class PathDialog : public ui::TemplateDialog {
public:
    PathDialog() : TemplateDialog(ui::programTemplates(), IDD_MAIN) {}
    QString path;

protected:
    void DoDataExchange(ui::DataExchange& dx) override { ui::ddxText(dx, IDC_DVC_PATH, path); }
};

} // namespace

class LayerTest : public QObject {
    Q_OBJECT

private slots:
    void dialogUnitsRoundToTheNearestPixel();
    void dialogUnitsGrowWithTheFont();
    void pacerAllowsOnePaintPerFrame();

    void missingPathsListEachStoredPathOnce();


    void reportBoxKeepsExactTextAndShowsLines();
    void appendingLeavesTheViewWhereItIs();
    void reportBoxSelectsAndCopiesWithMouseAndKeys();
    void lineTextSplitsLikeOneTextWhateverThePieces();
    void progressControlHoldsItsPositionUntilSynced();
    void progressStartsOverPastItsUpperEnd();

    void dataExchangeCopiesBothWaysAndLeavesEqualTextAlone();
    void missingTemplateCreatesNothing();
    void windowMenuStartsWithStandardEntries();

    void fileDialogAcceptsNewNameInExistingFolder();
    void fileDialogRefusesMissingFolder();
    void fileDialogAllFilterListsNamesWithoutDot();
};

void LayerTest::dialogUnitsRoundToTheNearestPixel()
{
    const ui::DialogUnits units(6, 12);
    QCOMPARE(units.toPixelsX(4), 6);
    QCOMPARE(units.toPixelsX(167), 251); // 250.5
    QCOMPARE(units.toPixelsX(1), 2);     // 1.5
    QCOMPARE(units.toPixelsY(215), 323); // 322.5
    QCOMPARE(units.toPixelsY(3), 5);     // 4.5
    QCOMPARE(units.toPixelsX(-1), -2);   // halves away from zero
    QCOMPARE(units.toPixels(QRect(4, 43, 38, 18)), QRect(6, 65, 57, 27));
    QCOMPARE(units.toPixels(QSize(235, 131)), QSize(353, 197));
}

void LayerTest::dialogUnitsGrowWithTheFont()
{
    QFont small = ui::dialogFont(QStringLiteral("ＭＳ Ｐゴシック"), 9);
    QFont large = small;
    large.setPointSize(18);
    const ui::DialogUnits a = ui::DialogUnits::fromFont(small);
    const ui::DialogUnits b = ui::DialogUnits::fromFont(large);
    QVERIFY(a.baseX() > 0 && a.baseY() > a.baseX());
    QVERIFY(b.baseX() >= 2 * a.baseX() - 1);
    QVERIFY(b.baseY() >= 2 * a.baseY() - 2);
    // A font that does not exist falls back to one that does.
    const QFont fallback = ui::dialogFont(QStringLiteral("No Such Font 4711"), 9);
    QVERIFY(QFontDatabase::families().contains(fallback.family()));
}

void LayerTest::pacerAllowsOnePaintPerFrame()
{
    using namespace std::chrono;
    ui::RepaintPacer pacer;
    steady_clock::time_point now{};
    pacer.setClock([&now] { return now; });
    pacer.setFrameRate(50.0);
    QCOMPARE(pacer.frame(), steady_clock::duration(milliseconds(20)));

    QVERIFY(pacer.due()); // nothing painted yet
    pacer.painted();
    QVERIFY(!pacer.due());
    now += milliseconds(19);
    QVERIFY(!pacer.due());
    now += milliseconds(1);
    QVERIFY(pacer.due());
    pacer.painted();
    QVERIFY(!pacer.due());

    // A screen that does not say its rate counts as 60 frames a second.
    pacer.setFrameRate(0.0);
    QCOMPARE(duration_cast<microseconds>(pacer.frame()).count(), 16666);
}

void LayerTest::missingPathsListEachStoredPathOnce()
{
    ui::MissingPaths paths;
    QVERIFY(paths.empty());
    QVERIFY(paths.distinct().empty());
    paths.add("D:\\b.avi", "D:\\b.avi");
    paths.add("D:\\\x95\x5c.avi", "D:\\表.avi");
    paths.add("D:\\b.avi", "D:\\b.avi");
    paths.add("", "");
    // Enough paths to fill several blocks: none of the earlier ones moves.
    const std::string longName(300, 'x');
    for (int k = 0; k < 10000; ++k)
        paths.add(longName + std::to_string(k % 5000), longName + std::to_string(k % 5000));
    QCOMPARE(paths.size(), std::size_t(10004));

    const std::vector<MissingFile> files = paths.distinct();
    QCOMPARE(files.size(), std::size_t(5003));
    QCOMPARE(files[0].stored, std::string("D:\\b.avi"));
    QCOMPARE(files[0].decoded, std::string("D:\\b.avi"));
    QCOMPARE(files[1].stored, std::string("D:\\\x95\x5c.avi"));
    QCOMPARE(files[1].decoded, std::string("D:\\表.avi"));
    QCOMPARE(files[2].stored, std::string());
    QCOMPARE(files[3].stored, longName + "0");
    QCOMPARE(files[5002].stored, longName + "4999");
    QCOMPARE(files[5002].decoded, longName + "4999");

    paths.clear();
    QVERIFY(paths.empty());
    QVERIFY(paths.distinct().empty());
}

void LayerTest::reportBoxKeepsExactTextAndShowsLines()
{
    ui::MultiLineEdit box;
    // Line ends split across appends, a lone CR and a lone LF.
    box.appendWindowText(QStringLiteral("[MainAV]\r"));
    box.appendWindowText(QStringLiteral("\nA.avi\r\n"));
    box.appendWindowText(QStringLiteral("odd\rname\r\n"));
    QCOMPARE(box.windowText(), QStringLiteral("[MainAV]\r\nA.avi\r\nodd\rname\r\n"));
    const auto shown = [&box] {
        QStringList lines;
        for (qsizetype k = 0; k < box.lineCount(); ++k)
            lines << box.shownLine(k);
        return lines;
    };
    // A lone CR or LF breaks the line on screen too; the text's last line end leaves an empty line.
    QCOMPARE(shown(), QStringList({"[MainAV]", "A.avi", "odd", "name", ""}));
    // A CR at the end of one append that no LF follows is a line end of its own.
    box.appendWindowText(QStringLiteral("last\r"));
    box.appendWindowText(QStringLiteral("lone\n\r\r\n"));
    QCOMPARE(box.windowText(), QStringLiteral("[MainAV]\r\nA.avi\r\nodd\rname\r\nlast\rlone\n\r\r\n"));
    QCOMPARE(shown(), QStringList({"[MainAV]", "A.avi", "odd", "name", "last", "lone", "", "", ""}));
    // Control characters are drawn as their pictures, one for one, so that none hides.
    box.setWindowText(QStringLiteral("a\x1b[2Jb\tc\x7f\u2029d\u0085"));
    QCOMPARE(shown(), QStringList({QStringLiteral("a\u241b[2Jb\u2409c\u2421\ufffdd\ufffd")}));
    QCOMPARE(box.windowText(), QStringLiteral("a\x1b[2Jb\tc\x7f\u2029d\u0085"));

    // A new text replaces the old one whole.
    box.setWindowText(QStringLiteral("x\r\ny"));
    QCOMPARE(box.windowText(), QStringLiteral("x\r\ny"));
    QCOMPARE(shown(), QStringList({"x", "y"}));
    box.setWindowText(QString());
    QCOMPARE(shown(), QStringList({""}));
}

void LayerTest::appendingLeavesTheViewWhereItIs()
{
    ui::MultiLineEdit box;
    box.resize(200, 100);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QString many;
    for (int k = 0; k < 500; ++k)
        many += QStringLiteral("line %1\r\n").arg(k);
    box.appendWindowText(many);
    QCOMPARE(box.verticalScrollBar()->value(), 0);
    QVERIFY(box.verticalScrollBar()->maximum() > 0);
    box.setSelection(10, 20);
    box.verticalScrollBar()->setValue(100);
    box.appendWindowText(QStringLiteral("more\r\n"));
    QCOMPARE(box.verticalScrollBar()->value(), 100);
    QCOMPARE(box.firstShownLine(), 100);
    QCOMPARE(box.anchorPosition(), 10);
    QCOMPARE(box.cursorPosition(), 20);
    // A line wider than any before widens what can be scrolled to.
    const int wide = box.horizontalScrollBar()->maximum();
    box.appendWindowText(QString(300, QLatin1Char('w')));
    QVERIFY(box.horizontalScrollBar()->maximum() > wide);
    // A new text is shown from its beginning.
    box.setWindowText(many);
    QCOMPARE(box.verticalScrollBar()->value(), 0);
    QCOMPARE(box.cursorPosition(), 0);
}

void LayerTest::reportBoxSelectsAndCopiesWithMouseAndKeys()
{
    ui::MultiLineEdit box;
    box.resize(300, 200);
    box.setWindowText(QStringLiteral("[MainAV]\r\nD:\\a.avi\r\nD:\\b.avi\r\n"));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setFocus();
    QWidget* view = box.viewport();
    const int height = box.fontMetrics().lineSpacing();
    const auto lineAt = [&](int line, int x) { return QPoint(x, 4 + line * height + height / 2); };

    struct Case {
        const char* what;
        std::function<void()> act;
        QString selected; // line ends as LF
    };
    const Case cases[] = {
        {"a drag from the start of the second line to the end of the third",
         [&] {
             QTest::mousePress(view, Qt::LeftButton, {}, lineAt(1, 0));
             QTest::mouseMove(view, lineAt(2, 290));
             QTest::mouseRelease(view, Qt::LeftButton, {}, lineAt(2, 290));
         },
         QStringLiteral("D:\\a.avi\nD:\\b.avi")},
        {"Shift and a click extend it to the first line's start",
         [&] { QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, lineAt(0, 0)); },
         QStringLiteral("[MainAV]\n")},
        {"keys: the end of the text, then Shift+Up twice and Shift+Home",
         [&] {
             QTest::keyClick(&box, Qt::Key_End, Qt::ControlModifier);
             QTest::keyClick(&box, Qt::Key_Up, Qt::ShiftModifier);
             QTest::keyClick(&box, Qt::Key_Up, Qt::ShiftModifier);
             QTest::keyClick(&box, Qt::Key_Right, Qt::ShiftModifier);
         },
         QStringLiteral(":\\a.avi\nD:\\b.avi\n")},
        {"a double click takes a word",
         [&] { QTest::mouseDClick(view, Qt::LeftButton, {}, lineAt(0, box.fontMetrics().horizontalAdvance("[Ma"))); },
         QStringLiteral("MainAV")},
        {"Ctrl+A takes everything", [&] { QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier); },
         QStringLiteral("[MainAV]\nD:\\a.avi\nD:\\b.avi\n")},
    };
    for (const Case& c : cases) {
        c.act();
        QCOMPARE(box.selectedText(), c.selected);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
        QVERIFY2(QGuiApplication::clipboard()->text() == c.selected, c.what);
    }
    // Keys the box does not take are the dialog's.
    for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&box, &press);
        QVERIFY(!press.isAccepted());
    }
    QCOMPARE(box.windowText(), QStringLiteral("[MainAV]\r\nD:\\a.avi\r\nD:\\b.avi\r\n"));
}

void LayerTest::lineTextSplitsLikeOneTextWhateverThePieces()
{
    // Texts of line ends of every kind, cut into pieces anywhere (between a
    // CR and its LF too), against lines found by reading the whole text once.
    std::mt19937 random(4711);
    const QStringList atoms = {"a", "D:\\x.avi", "表", "\r", "\n", "\r\n", "\r\r", "\n\r"};
    for (int round = 0; round < 200; ++round) {
        QString text;
        for (int k = 0; k < 30; ++k)
            text += atoms[static_cast<qsizetype>(random() % static_cast<unsigned>(atoms.size()))];
        QList<qsizetype> starts{0};
        for (qsizetype k = 0; k < text.size(); ++k) {
            if (text[k] == u'\r' && k + 1 < text.size() && text[k + 1] == u'\n')
                continue;
            if (text[k] == u'\r' || text[k] == u'\n')
                starts << k + 1;
        }
        ui::LineText lines;
        for (qsizetype at = 0; at < text.size();) {
            const qsizetype length = std::min<qsizetype>(1 + static_cast<qsizetype>(random() % 5), text.size() - at);
            lines.append(QStringView(text).mid(at, length));
            at += length;
        }
        QCOMPARE(lines.text(), text);
        QCOMPARE(lines.lineCount(), starts.size());
        qsizetype longest = 0;
        for (qsizetype line = 0; line < starts.size(); ++line) {
            QCOMPARE(lines.lineStart(line), starts[line]);
            qsizetype end = line + 1 < starts.size() ? starts[line + 1] - 1 : text.size();
            if (line + 1 < starts.size() && end > starts[line] && text[end] == u'\n' && text[end - 1] == u'\r')
                --end;
            QCOMPARE(lines.lineEnd(line), end);
            if (end - starts[line] > lines.lineEnd(longest) - lines.lineStart(longest))
                longest = line;
            for (qsizetype position = starts[line]; position < (line + 1 < starts.size() ? starts[line + 1] : text.size() + 1);
                 ++position)
                QCOMPARE(lines.lineOf(position), line);
        }
        QCOMPARE(lines.longestLine(), longest);
    }
}

void LayerTest::progressControlHoldsItsPositionUntilSynced()
{
    QProgressBar bar;
    ui::ProgressControl progress;
    progress.attach(&bar);
    progress.setRange(0, 200);
    progress.setStep(1);
    QCOMPARE(bar.maximum(), 200);

    progress.hold(true);
    for (int k = 0; k < 7; ++k)
        progress.stepIt();
    QCOMPARE(progress.pos(), 7);
    QCOMPARE(bar.value(), 0);
    progress.sync();
    QCOMPARE(bar.value(), 7);
    progress.setPos(9);
    QCOMPARE(bar.value(), 7);
    progress.hold(false);
    QCOMPARE(bar.value(), 9);
    QCOMPARE(progress.setPos(0), 9);
    QCOMPARE(bar.value(), 0);
}

void LayerTest::progressStartsOverPastItsUpperEnd()
{
    ui::ProgressControl progress;
    progress.setRange(0, 3);
    progress.setStep(1);
    QCOMPARE(progress.stepIt(), 0);
    progress.stepIt();
    progress.stepIt();
    QCOMPARE(progress.pos(), 3);
    progress.stepIt();
    QCOMPARE(progress.pos(), 0);
    QCOMPARE(progress.setPos(99), 0);
    QCOMPARE(progress.pos(), 3);
}

void LayerTest::dataExchangeCopiesBothWaysAndLeavesEqualTextAlone()
{
    PathDialog dialog;
    QVERIFY(dialog.Create());
    auto* edit = qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_DVC_PATH));
    QVERIFY(edit);

    dialog.path = QStringLiteral("a/b.dvc");
    dialog.UpdateData(false);
    QCOMPARE(edit->text(), QStringLiteral("a/b.dvc"));

    edit->setText(QStringLiteral("typed.dvc"));
    dialog.UpdateData(true);
    QCOMPARE(dialog.path, QStringLiteral("typed.dvc"));

    // Loading the same text keeps the user's selection; a new one replaces it.
    edit->setSelection(0, 5);
    dialog.UpdateData(false);
    QCOMPARE(edit->selectedText(), QStringLiteral("typed"));
    dialog.path = QStringLiteral("other.dvc");
    dialog.UpdateData(false);
    QCOMPARE(edit->text(), QStringLiteral("other.dvc"));
    QVERIFY(!edit->hasSelectedText());
}

void LayerTest::missingTemplateCreatesNothing()
{
    ui::TemplateDialog dialog(ui::programTemplates(), 4711);
    QVERIFY(!dialog.Create());
    QCOMPARE(dialog.DoModal(), -1);
    QVERIFY(dialog.controls().empty());
    QCOMPARE(dialog.GetSystemMenu(false), nullptr);
}

void LayerTest::windowMenuStartsWithStandardEntries()
{
    ui::SystemMenu fixed(false);
    QCOMPARE(fixed.entries().size(), std::size_t(1));
    QCOMPARE(fixed.entries().front().command, ui::kScClose);

    ui::SystemMenu menu(true);
    menu.appendMenu(ui::kMenuSeparator, 0x1234, QStringLiteral("ignored"));
    menu.appendMenu(ui::kMenuString, 0x0010, QStringLiteral("&About"));
    QCOMPARE(menu.entries().size(), std::size_t(4));
    QCOMPARE(menu.entries()[0].command, ui::kScMinimize);
    QCOMPARE(menu.entries()[2].command, 0u);

    const std::unique_ptr<QMenu> popup = menu.createPopup(nullptr);
    const QList<QAction*> actions = popup->actions();
    QCOMPARE(actions.size(), 4);
    QVERIFY(actions[2]->isSeparator());
    QCOMPARE(actions[3]->text(), QStringLiteral("&About"));
    QCOMPARE(actions[3]->data().toUInt(), 0x0010u);
}

void LayerTest::fileDialogAcceptsNewNameInExistingFolder()
{
    QTemporaryDir dir;
    ui::OpenFileRequest request;
    request.filters = {QStringLiteral("Rex Edit file (*.dvc)"), QStringLiteral("all(*.*)")};
    request.initialName = QStringLiteral("*.dvc");
    request.defaultSuffix = QStringLiteral("dvc");
    request.directory = dir.path();
    ui::OpenFileDialog dialog(nullptr, request);
    QCOMPARE(dialog.nameFilters(), request.filters);
    QCOMPARE(dialog.selectedNameFilter(), request.filters.first());

    dialog.selectFile(QStringLiteral("new project"));
    QCOMPARE(dialog.selectedFiles(), QStringList(dir.filePath(QStringLiteral("new project.dvc"))));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void LayerTest::fileDialogRefusesMissingFolder()
{
    QTemporaryDir dir;
    uitest::ScriptedModals modals;
    const ui::ScopedModalHandler scope(modals);
    ui::OpenFileRequest request;
    request.directory = dir.path();
    ui::OpenFileDialog dialog(nullptr, request);
    dialog.selectFile(dir.filePath(QStringLiteral("gone/p.dvc")));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QVERIFY(modals.messages.front().text.contains(QLatin1String("does not exist")));
}

void LayerTest::fileDialogAllFilterListsNamesWithoutDot()
{
    ui::OpenFileRequest request;
    request.filters = {QStringLiteral("Rex Edit file (*.dvc)"), QStringLiteral("all(*.*)")};
    ui::OpenFileDialog dialog(nullptr, request);
    auto* model = dialog.findChild<QFileSystemModel*>();
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QVERIFY(model && combo);
    QCOMPARE(model->nameFilters(), QStringList(QStringLiteral("*.dvc")));

    // As a user's choice in the list of filters.
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    emit combo->textActivated(combo->currentText());
    QCOMPARE(model->nameFilters(), QStringList(QStringLiteral("*")));
    combo->setCurrentIndex(0);
    emit combo->activated(0);
    emit combo->textActivated(combo->currentText());
    QCOMPARE(model->nameFilters(), QStringList(QStringLiteral("*.dvc")));
}

QTEST_MAIN(LayerTest)
#include "layer_test.moc"
