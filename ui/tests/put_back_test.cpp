// "Put back...": the plan for a moved folder shown, carried out, the project
// scanned again, and "Undo last put back" removing what was made.

#include "mapping_support.h"

#include "paths/config_file.h"
#include "ui/find_missing_dlg.h"
#include "ui/framework/system_menu.h"
#include "ui/put_back_dlg.h"
#include "ui/undo_dlg.h"
#include "ui/resource_ids.h"
#include "ui/scan_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <atomic>
#include <filesystem>
#include <functional>

using namespace korvane;
using uitest::rows;

namespace {

using uitest::waitUntil;

void writeText(const QString& path, const QByteArray& text)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(text), text.size());
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<cannot be read>");
}

// What the "Put back" dialog showed before and after "Put back".
struct PutBackSeen {
    bool offered = false; // "Put back..." was enabled
    QStringList files, planned, from, to, outcomes;
    QString summary;
    int result = -1;
};

// What the undo dialog showed before and after "Remove".
struct UndoSeen {
    QStringList planned, paths, done;
    QString plannedSummary, doneSummary;
    int result = -1;
};

} // namespace

class PutBackTest : public QObject, private uitest::MappingFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void putBackRestoresAMovedFolderAndUndoRemovesIt();
    void leavingAPlanOrAnUndoBeforeItIsDoneChangesNothing();
    void aPlanUsesTheMappingsOfWhenItIsMade();
    void theUserChoosesAmongDifferentFilesNothingTellsApart();

private:
    bool undoEnabled() const;
    // Find missing files in `folder`, "Put back...", (`beforePutBack` with
    // the plan shown,) "Put back" (copying where `copy`), "Close"; then the
    // scan that follows.
    PutBackSeen putBack(const QString& folder, bool copy, const std::function<void(QDialog&)>& beforePutBack = {});
    // "Undo last put back", "Remove", "Close"; then the scan that follows.
    UndoSeen undo();
};

void PutBackTest::initTestCase()
{
    isolate();
}

void PutBackTest::init()
{
    openWithoutSettings();
}

void PutBackTest::cleanup()
{
    closeAndRemoveFiles();
}

bool PutBackTest::undoEnabled() const
{
    for (const ui::MenuEntry& entry : dlg->GetSystemMenu(false)->entries()) {
        if (entry.command == IDM_UNDOPUTBACK)
            return !(entry.flags & ui::kMenuGrayed);
    }
    return false;
}

PutBackSeen PutBackTest::putBack(const QString& folder, bool copy, const std::function<void(QDialog&)>& beforePutBack)
{
    PutBackSeen seen;
    modals.folderAnswers = {folder};
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        if (auto* find = dynamic_cast<ui::FindMissingDlg*>(&dialog)) {
            auto* open = find->findChild<QPushButton*>(QStringLiteral("putBackDialogButton"));
            seen.offered = open && open->isEnabled();
            if (seen.offered)
                QTest::mouseClick(open, Qt::LeftButton);
            return dialog.result();
        }
        auto* put = dynamic_cast<ui::PutBackDlg*>(&dialog);
        auto* list = dialog.findChild<QTreeView*>(QStringLiteral("putBackList"));
        auto* button = dialog.findChild<QPushButton*>(QStringLiteral("putBackButton"));
        auto* close = dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"));
        auto* copyCheck = dialog.findChild<QCheckBox*>(QStringLiteral("copyCheck"));
        auto* summary = dialog.findChild<QLabel*>(QStringLiteral("putBackSummary"));
        if (!put || !list || !button || !close || !copyCheck || !summary ||
            !waitUntil([put] { return !put->planning(); }))
            return -1;
        if (beforePutBack)
            beforePutBack(dialog);
        if (!button->isEnabled())
            return -1;
        seen.files = rows(list, 0);
        seen.planned = rows(list, 1);
        seen.from = rows(list, 2);
        seen.to = rows(list, 3);
        copyCheck->setChecked(copy);
        QTest::mouseClick(button, Qt::LeftButton);
        if (!waitUntil([put] { return !put->applying(); }))
            return -1;
        seen.outcomes = rows(list, 1);
        seen.summary = summary->text();
        QTest::mouseClick(close, Qt::LeftButton);
        seen.result = dialog.result();
        return seen.result;
    };
    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    [&] { QVERIFY(uitest::waitForRun(*dlg)); }();
    modals.onDialog = nullptr;
    return seen;
}

UndoSeen PutBackTest::undo()
{
    UndoSeen seen;
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        auto* undoing = dynamic_cast<ui::UndoDlg*>(&dialog);
        auto* list = dialog.findChild<QTreeView*>(QStringLiteral("undoList"));
        auto* remove = dialog.findChild<QPushButton*>(QStringLiteral("removeButton"));
        auto* close = dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"));
        auto* summary = dialog.findChild<QLabel*>(QStringLiteral("undoSummary"));
        if (!undoing || !list || !remove || !close || !summary ||
            !waitUntil([undoing] { return !undoing->checking(); }))
            return -1;
        // Shown before anything is removed: what, and where.
        seen.planned = rows(list, 0);
        seen.paths = rows(list, 1);
        seen.plannedSummary = summary->text();
        if (!remove->isEnabled())
            return -1;
        QTest::mouseClick(remove, Qt::LeftButton);
        if (!waitUntil([undoing] { return !undoing->undoing(); }))
            return -1;
        seen.done = rows(list, 0);
        seen.doneSummary = summary->text();
        QTest::mouseClick(close, Qt::LeftButton);
        seen.result = dialog.result();
        return seen.result;
    };
    dlg->OnSysCommand(IDM_UNDOPUTBACK, 0);
    [&] { QVERIFY(uitest::waitForRun(*dlg)); }();
    modals.onDialog = nullptr;
    return seen;
}

void PutBackTest::putBackRestoresAMovedFolderAndUndoRemovesIt()
{
    // The project looks on D:, mapped to an empty drive; the folder was moved
    // to a USB disk, where one clip is only there transcoded.
    const QString drive = tempPath(QStringLiteral("drive"));
    const QString usb = tempPath(QStringLiteral("usb"));
    QVERIFY(QDir().mkpath(drive));
    const QString hostile = QStringLiteral("two\nlines\x1b[2J.AVI");
    writeText(usb + QStringLiteral("/Wedding/CamA/v01.AVI"), "first clip");
    writeText(usb + QStringLiteral("/Wedding/CamA/v02.AVI"), "second clip, longer");
    writeText(usb + QStringLiteral("/Wedding/CamA/") + hostile, "third");
    writeText(usb + QStringLiteral("/Wedding/CamB/v03.mov"), "transcoded");
    ConfigFile config;
    QVERIFY(config.setMapping("D:", drive.toStdString()));
    QVERIFY(config.save(configFile.toStdString()));

    testkit::ProjectModel model;
    model.mainAV = {{"D:\\Wedding\\CamA\\v01.AVI", "", 0},
                    {"D:\\Wedding\\CamA\\v02.AVI", "", 0},
                    {"D:\\Wedding\\CamA\\" + hostile.toStdString(), "", 0},
                    {"D:\\Wedding\\CamB\\v03.AVI", "", 0}};
    const QString project = tempPath(QStringLiteral("wedding.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    const QByteArray projectBytes = readAll(project);
    const auto projectTime = std::filesystem::last_write_time(project.toStdString());

    process(project);
    QCOMPARE(dlg->lastMissing().size(), std::size_t(4));
    QVERIFY(!undoEnabled());

    const PutBackSeen linked = putBack(usb, false);
    QVERIFY(linked.offered);
    const QString shownHostile = QStringLiteral("two\\nlines\\x1b[2J.AVI");
    QCOMPARE(linked.files, QStringList({QStringLiteral("D:\\Wedding\\CamA\\v01.AVI"),
                                        QStringLiteral("D:\\Wedding\\CamA\\v02.AVI"),
                                        QStringLiteral("D:\\Wedding\\CamA\\") + shownHostile,
                                        QStringLiteral("D:\\Wedding\\CamB\\v03.AVI")}));
    QCOMPARE(linked.planned, QStringList({QStringLiteral("put back"), QStringLiteral("put back"),
                                          QStringLiteral("put back"), QStringLiteral("left")}));
    const QString toCamA = drive + QStringLiteral("/Wedding/CamA/");
    const QString fromCamA = usb + QStringLiteral("/Wedding/CamA/");
    QCOMPARE(linked.from, QStringList({fromCamA + QStringLiteral("v01.AVI"), fromCamA + QStringLiteral("v02.AVI"),
                                       fromCamA + shownHostile,
                                       QStringLiteral("the closest file found has another extension (a transcoded "
                                                      "file is not the original)")}));
    QCOMPARE(linked.to, QStringList({toCamA + QStringLiteral("v01.AVI"), toCamA + QStringLiteral("v02.AVI"),
                                     toCamA + shownHostile, QString()}));

    QCOMPARE(linked.result, int(QDialog::Accepted));
    QCOMPARE(linked.outcomes, QStringList({QStringLiteral("linked"), QStringLiteral("linked"),
                                           QStringLiteral("linked"), QStringLiteral("left")}));
    const QString journals = settingsRoot.filePath(QStringLiteral("state/korvane"));
    QVERIFY2(linked.summary.startsWith(QStringLiteral("Put back 3 files (3 linked, 0 copied); 0 bytes copied. 1 "
                                                      "missing file left, as the list says.\nJournal of what was "
                                                      "made: ") +
                                       journals + QLatin1Char('/')),
             qPrintable(linked.summary));
    for (const QString& name : {QStringLiteral("v01.AVI"), QStringLiteral("v02.AVI"), hostile}) {
        QCOMPARE(readAll(toCamA + name), readAll(usb + QStringLiteral("/Wedding/CamA/") + name));
        QCOMPARE(std::filesystem::hard_link_count(QFile::encodeName(toCamA + name).toStdString()), 2u);
    }

    // Scanned again: only the transcoded clip is missing.
    QCOMPARE(dlg->lastMissing().size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(dlg->lastMissing().front().stored), QStringLiteral("D:\\Wedding\\CamB\\v03.AVI"));
    QVERIFY(dlg->m_fileList.contains(QStringLiteral("D:\\Wedding\\CamB\\v03.AVI")));
    QVERIFY(!dlg->m_fileList.contains(QStringLiteral("v01.AVI")));
    QVERIFY(undoEnabled());

    // The rescan that follows leaves the focus where it was, on Process.
    QCOMPARE(dlg->focusWidget(), dlg->GetDlgItem(IDC_PROCESS));

    // Undo shows what it will remove before it removes it; then the files
    // and the folders made for them are gone, the files found untouched,
    // and the scan misses all four again.
    const UndoSeen undone = undo();
    const QString made = drive + QStringLiteral("/Wedding/");
    QCOMPARE(undone.planned, QStringList(5, QStringLiteral("remove")));
    QCOMPARE(undone.paths, QStringList({toCamA + shownHostile, toCamA + QStringLiteral("v02.AVI"),
                                        toCamA + QStringLiteral("v01.AVI"), toCamA, made}));
    QCOMPARE(undone.plannedSummary,
             QStringLiteral("Undo would remove 3 files and 2 folders that the last put back made."));
    QCOMPARE(undone.done, QStringList(5, QStringLiteral("removed")));
    QCOMPARE(undone.doneSummary, QStringLiteral("Removed 3 files and 2 folders."));
    QCOMPARE(undone.result, int(QDialog::Accepted));
    QVERIFY(!QFileInfo::exists(drive + QStringLiteral("/Wedding")));
    QCOMPARE(readAll(usb + QStringLiteral("/Wedding/CamA/v01.AVI")), QByteArray("first clip"));
    QCOMPARE(dlg->lastMissing().size(), std::size_t(4));
    QCOMPARE(dlg->focusWidget(), dlg->GetDlgItem(IDC_PROCESS));
    QVERIFY(!undoEnabled());
    // Chosen anyway, it does nothing.
    const std::size_t before = modals.dialogTitles.size();
    dlg->OnSysCommand(IDM_UNDOPUTBACK, 0);
    QCOMPARE(modals.dialogTitles.size(), before);

    // "Copy instead of linking" copies, and the next put back can be undone again.
    const PutBackSeen copied = putBack(usb, true);
    QCOMPARE(copied.outcomes, QStringList({QStringLiteral("copied"), QStringLiteral("copied"),
                                           QStringLiteral("copied"), QStringLiteral("left")}));
    QVERIFY2(copied.summary.startsWith(QStringLiteral("Put back 3 files (0 linked, 3 copied); 34 bytes copied.")),
             qPrintable(copied.summary));
    QCOMPARE(std::filesystem::hard_link_count((drive + QStringLiteral("/Wedding/CamA/v01.AVI")).toStdString()), 1u);
    QCOMPARE(readAll(toCamA + QStringLiteral("v02.AVI")), QByteArray("second clip, longer"));
    QCOMPARE(dlg->lastMissing().size(), std::size_t(1));
    QVERIFY(undoEnabled());

    // The project itself was never written.
    QCOMPARE(readAll(project), projectBytes);
    QVERIFY(std::filesystem::last_write_time(project.toStdString()) == projectTime);
}

void PutBackTest::leavingAPlanOrAnUndoBeforeItIsDoneChangesNothing()
{
    const QString drive = tempPath(QStringLiteral("drive"));
    const QString usb = tempPath(QStringLiteral("usb"));
    QVERIFY(QDir().mkpath(drive));
    writeText(usb + QStringLiteral("/Wedding/CamA/v01.AVI"), "first clip");
    ConfigFile config;
    QVERIFY(config.setMapping("D:", drive.toStdString()));
    QVERIFY(config.save(configFile.toStdString()));
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\Wedding\\CamA\\v01.AVI", "", 0}};
    const QString project = tempPath(QStringLiteral("wedding.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    process(project);
    const QString made = drive + QStringLiteral("/Wedding/CamA/v01.AVI");

    // Each way out ends the dialog at once, whatever the work it waits for.
    const std::function<void(QDialog&)> leaves[] = {
        [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](QDialog& d) { QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton); },
        [](QDialog& d) { d.close(); },
    };
    for (const auto& leave : leaves) {
        bool leftWhilePlanning = false;
        modals.folderAnswers = {usb};
        modals.onDialog = [&](QDialog& dialog) {
            dialog.show();
            if (dynamic_cast<ui::FindMissingDlg*>(&dialog)) {
                QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("putBackDialogButton")), Qt::LeftButton);
                return dialog.result();
            }
            auto* put = dynamic_cast<ui::PutBackDlg*>(&dialog);
            const bool planning = put && put->planning();
            leave(dialog);
            leftWhilePlanning = planning && !dialog.isVisible() && !put->planning();
            return dialog.result();
        };
        dlg->OnSysCommand(IDM_FINDMISSING, 0);
        QVERIFY(uitest::waitForRun(*dlg));
        QVERIFY(leftWhilePlanning);
        QVERIFY(!QFileInfo::exists(drive + QStringLiteral("/Wedding")));
        QVERIFY(!undoEnabled());
    }

    QCOMPARE(putBack(usb, false).outcomes, QStringList({QStringLiteral("linked")}));
    QVERIFY(QFileInfo::exists(made));
    for (const auto& leave : leaves) {
        bool leftWhileChecking = false;
        modals.onDialog = [&](QDialog& dialog) {
            dialog.show();
            auto* undoing = dynamic_cast<ui::UndoDlg*>(&dialog);
            const bool checking = undoing && undoing->checking();
            leave(dialog);
            leftWhileChecking = checking && !dialog.isVisible() && !undoing->checking() && !undoing->undone();
            return dialog.result();
        };
        dlg->OnSysCommand(IDM_UNDOPUTBACK, 0);
        QVERIFY(uitest::waitForRun(*dlg));
        QVERIFY(leftWhileChecking);
        QVERIFY(QFileInfo::exists(made));
        QVERIFY(undoEnabled());
    }
    modals.onDialog = nullptr;

    // An undo stopped before its first entry tries none, and says so of
    // each, as the dialog's list shows after Cancel during the undo.
    const std::string journal = QDir(settingsRoot.filePath(QStringLiteral("state/korvane")))
                                    .entryInfoList({QStringLiteral("*.journal")}, QDir::Files, QDir::Time)
                                    .front()
                                    .filePath()
                                    .toStdString();
    std::stop_source stopped;
    stopped.request_stop();
    for (const UndoResult& result : {previewUndo(journal, stopped.get_token()), undoRestore(journal, stopped.get_token())}) {
        QVERIFY(result.read && result.stopped);
        QCOMPARE(result.removedFiles + result.removedFolders, std::size_t(0));
        QCOMPARE(result.items.size(), std::size_t(3)); // two folders and the link
        for (const UndoItem& item : result.items) {
            QVERIFY(item.action == UndoItem::Action::Keep);
            QCOMPARE(QString::fromStdString(item.why), QStringLiteral("not tried: the undo was stopped"));
        }
    }
    QVERIFY(QFileInfo::exists(made));
}

void PutBackTest::aPlanUsesTheMappingsOfWhenItIsMade()
{
    // Drive F: has no mapping when the project is scanned; the user maps it
    // before putting its clip back.
    const QString drive = tempPath(QStringLiteral("f-drive"));
    const QString usb = tempPath(QStringLiteral("usb"));
    QVERIFY(QDir().mkpath(drive));
    writeText(usb + QStringLiteral("/Party/Cake.avi"), "cake");
    testkit::ProjectModel model;
    model.mainAV = {{"F:\\Party\\Cake.avi", "", 0}};
    const QString project = tempPath(QStringLiteral("party.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    process(project);
    QCOMPARE(dlg->lastUnmapped(), std::vector<std::string>({"F:"}));
    ConfigFile config;
    QVERIFY(config.setMapping("F:", drive.toStdString()));
    QVERIFY(config.save(configFile.toStdString()));

    const PutBackSeen seen = putBack(usb, false);
    QCOMPARE(seen.planned, QStringList({QStringLiteral("put back")}));
    QCOMPARE(seen.to, QStringList({drive + QStringLiteral("/Party/Cake.avi")}));
    QCOMPARE(seen.outcomes, QStringList({QStringLiteral("linked")}));
    QVERIFY(dlg->lastMissing().empty());
}

void PutBackTest::theUserChoosesAmongDifferentFilesNothingTellsApart()
{
    // Two cards hold a clip of the name, of different content, and nothing
    // in their folders tells which one the project meant: the plan leaves
    // it, and puts back only the one the user picks.
    const QString drive = tempPath(QStringLiteral("drive"));
    const QString usb = tempPath(QStringLiteral("usb"));
    QVERIFY(QDir().mkpath(drive));
    writeText(usb + QStringLiteral("/CardA/Clip.avi"), "the first card's");
    writeText(usb + QStringLiteral("/CardB/Clip.avi"), "the second card's");
    ConfigFile config;
    QVERIFY(config.setMapping("D:", drive.toStdString()));
    QVERIFY(config.save(configFile.toStdString()));
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\Shoot\\Clip.avi", "", 0}};
    const QString project = tempPath(QStringLiteral("shoot.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    process(project);

    QStringList planned, chosen, choices;
    const PutBackSeen seen = putBack(usb, false, [&](QDialog& dialog) {
        auto* list = dialog.findChild<QTreeView*>(QStringLiteral("putBackList"));
        auto* chooser = dialog.findChild<QComboBox*>(QStringLiteral("choiceBox"));
        QVERIFY(list && chooser);
        planned = rows(list, 1);
        list->setCurrentIndex(list->model()->index(0, 0));
        QVERIFY(chooser->isVisible());
        for (int k = 0; k < chooser->count(); ++k)
            choices << chooser->itemText(k);
        const int second = chooser->findText(QStringLiteral("CardB"), Qt::MatchContains);
        QVERIFY(second > 0);
        chooser->setCurrentIndex(second);
        emit chooser->activated(second);
        chosen = rows(list, 1);
    });
    QCOMPARE(planned, QStringList({QStringLiteral("left")}));
    QCOMPARE(choices.size(), 3); // "leave it", then the two files
    QCOMPARE(chosen, QStringList({QStringLiteral("put back")}));
    QCOMPARE(seen.outcomes, QStringList({QStringLiteral("linked")}));
    QCOMPARE(readAll(drive + QStringLiteral("/Shoot/Clip.avi")), QByteArray("the second card's"));
}

QTEST_MAIN(PutBackTest)
#include "put_back_test.moc"
