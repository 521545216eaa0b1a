// "Put back...": the plan for a moved folder shown, carried out, the project
// scanned again, and "Undo last put back" removing what was made.

#include "mapping_support.h"

#include "paths/config_file.h"
#include "ui/find_missing_dlg.h"
#include "ui/framework/system_menu.h"
#include "ui/put_back_dlg.h"
#include "ui/resource_ids.h"
#include "ui/scan_dlg.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <functional>

using namespace korvane;
using uitest::rows;

namespace {

// Runs the event loop until `done` holds; false when it does not within a minute.
bool waitUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(std::chrono::seconds(60));
    QTimer tick; // wakes the loop now and then to look at the deadline
    tick.start(100);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

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

} // namespace

class PutBackTest : public QObject, private uitest::MappingFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void putBackRestoresAMovedFolderAndUndoRemovesIt();

private:
    bool undoEnabled() const;
    // Find missing files in `folder`, "Put back...", "Put back" (copying
    // where `copy`), "Close"; then the scan that follows.
    PutBackSeen putBack(const QString& folder, bool copy);
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

PutBackSeen PutBackTest::putBack(const QString& folder, bool copy)
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
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("putBackList"));
        auto* button = dialog.findChild<QPushButton*>(QStringLiteral("putBackButton"));
        auto* close = dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"));
        auto* copyCheck = dialog.findChild<QCheckBox*>(QStringLiteral("copyCheck"));
        auto* summary = dialog.findChild<QLabel*>(QStringLiteral("putBackSummary"));
        if (!put || !list || !button || !close || !copyCheck || !summary || !button->isEnabled())
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
    modals.onDialog = nullptr;
    [&] { QVERIFY(uitest::waitForRun(*dlg)); }();
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

    // Undone: the files and the folders made for them are gone, the files
    // found untouched, and the scan misses all four again.
    const std::size_t shown = modals.messages.size();
    dlg->OnSysCommand(IDM_UNDOPUTBACK, 0);
    QVERIFY(modals.messages.size() > shown);
    QCOMPARE(modals.messages[shown].text, QStringLiteral("Removed 3 files and 2 folders."));
    QVERIFY(uitest::waitForRun(*dlg));
    QVERIFY(!QFileInfo::exists(drive + QStringLiteral("/Wedding")));
    QCOMPARE(readAll(usb + QStringLiteral("/Wedding/CamA/v01.AVI")), QByteArray("first clip"));
    QCOMPARE(dlg->lastMissing().size(), std::size_t(4));
    QVERIFY(!undoEnabled());
    // Chosen anyway, it does nothing.
    const std::size_t before = modals.messages.size();
    dlg->OnSysCommand(IDM_UNDOPUTBACK, 0);
    QCOMPARE(modals.messages.size(), before);

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

QTEST_MAIN(PutBackTest)
#include "put_back_test.moc"
