// "Find missing files in folder...": offered after a run that missed
// files, and the mapping it suggests saved and used by a second run.

#include "mapping_support.h"

#include "catalogue/sqlite_catalogue.h"
#include "paths/config_file.h"
#include "paths/drive_map.h"
#include "ui/background_task.h"
#include "ui/find_missing_dlg.h"
#include "ui/framework/system_menu.h"
#include "ui/resource_ids.h"
#include "ui/scan_app.h"
#include "ui/scan_dlg.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace korvane;
using uitest::makeFile;
using uitest::referenceWithout;
using uitest::item;
using uitest::rows;

class FindMissingTest : public QObject, private uitest::MappingFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void findMissingIsOfferedOnlyAfterARunThatMissedFiles();
    void findMissingThenUseMappingScansAgainWithNothingMissing();
    void findMissingOffersAFolderBelowADriveWhereTheFileTakesIt();
    void aMappingTheConfigurationFileCannotHoldIsNeverSaved();
    void aSearchStopsAtOnceAndShowsNothing_data();
    void aSearchStopsAtOnceAndShowsNothing();
    void theCatalogueNamesTheDiskToPlugInForAFileTheFolderDoesNotHold();
    void rememberedMediaFindARenamedClipAndTellWhatChanged();
    void aDiskCataloguedTwiceIsReadOnceAndSaysWhatChanged();
    void aCatalogueThatIsNotOneIsNamedAndNeverWritten();

private:
    // The catalogue of disks of the isolated settings, none yet.
    std::string freshCatalogue()
    {
        const QString folder = settingsRoot.path() + QStringLiteral("/data/korvane");
        QDir(folder).removeRecursively();
        return QFile::encodeName(folder + QStringLiteral("/catalogue.sqlite")).toStdString();
    }
    // What the dialog of "Find missing files in folder..." shows for `folder`:
    // its summary, what was found for each missing file, and the tooltip of
    // the first of these.
    QStringList findMissingIn(const QString& folder)
    {
        modals.folderAnswers = {folder};
        QStringList shown;
        modals.onDialog = [&](QDialog& dialog) {
            auto* label = dialog.findChild<QLabel*>(QStringLiteral("summaryLabel"));
            auto* files = dialog.findChild<QTreeView*>(QStringLiteral("missingList"));
            if (label && files)
                shown = QStringList{label->text()} + rows(files, 1) +
                        QStringList{files->model()->index(0, 1).data(Qt::ToolTipRole).toString()};
            return int(QDialog::Rejected);
        };
        dlg->OnSysCommand(IDM_FINDMISSING, 0);
        [&] { QVERIFY(uitest::waitForRun(*dlg)); }();
        modals.onDialog = nullptr;
        return shown;
    }
};

void FindMissingTest::initTestCase()
{
    isolate();
}

void FindMissingTest::init()
{
    openWithoutSettings();
}

void FindMissingTest::cleanup()
{
    closeAndRemoveFiles();
}

void FindMissingTest::findMissingIsOfferedOnlyAfterARunThatMissedFiles()
{
    auto findEntryEnabled = [&] {
        const auto& entries = dlg->GetSystemMenu(false)->entries();
        for (const ui::MenuEntry& entry : entries) {
            if (entry.command == IDM_FINDMISSING)
                return !(entry.flags & ui::kMenuGrayed);
        }
        return false;
    };
    QVERIFY(!findEntryEnabled());
    // Gray entries are offered disabled.
    const std::unique_ptr<QMenu> popup = dlg->GetSystemMenu(false)->createPopup(dlg);
    for (QAction* action : popup->actions())
        QCOMPARE(action->isEnabled(),
                 action->data().toUInt() != IDM_FINDMISSING && action->data().toUInt() != IDM_UNDOPUTBACK);
    // Chosen anyway, it asks nothing.
    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    QVERIFY(modals.folderCaptions.empty());

    process(QStringLiteral("samples/wedding.dvc"));
    QVERIFY(findEntryEnabled());
    QVERIFY(!dlg->lastMissing().empty());

    // A file that cannot be opened changes nothing: the report shown is still searched.
    process(tempPath(QStringLiteral("no-such.dvc")));
    QVERIFY(findEntryEnabled());

    testkit::ProjectModel nothingMissing;
    nothingMissing.mainAV = {{"samples/media/Holiday/Beach.avi", "", 0}};
    const QString project = tempPath(QStringLiteral("whole.dvc"));
    uitest::writeProject(project, testkit::buildProject(nothingMissing));
    process(project);
    QVERIFY(dlg->lastMissing().empty());
    QVERIFY(!findEntryEnabled());
}

void FindMissingTest::findMissingThenUseMappingScansAgainWithNothingMissing()
{
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\Video\\Clip.AVI", "", 0}, {"D:\\Video\\Day1\\Toast.avi", "", 0}};
    model.bin = {{"clip", "D:\\Video\\Clip.AVI"}};
    const QString project = tempPath(QStringLiteral("moved.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    const QString disk = tempPath(QStringLiteral("usb disk"));
    makeFile(disk + QStringLiteral("/Video/clip.avi"));
    makeFile(disk + QStringLiteral("/Video/Day1/toast.avi"));
    makeFile(disk + QStringLiteral("/Other/clip.avi"));

    process(project);
    QCOMPARE(dlg->lastMissing().size(), std::size_t(2));
    QCOMPARE(modals.messages.size(), std::size_t(1));

    modals.folderAnswers = {disk};
    QString title, summary, preview;
    QStringList missing, found, suggested;
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        title = dialog.windowTitle();
        auto* label = dialog.findChild<QLabel*>(QStringLiteral("summaryLabel"));
        auto* files = dialog.findChild<QTreeView*>(QStringLiteral("missingList"));
        auto* mappings = dialog.findChild<QTreeWidget*>(QStringLiteral("suggestionList"));
        auto* use = dialog.findChild<QPushButton*>(QStringLiteral("useMappingButton"));
        if (!label || !files || !mappings || !use || !use->isEnabled())
            return -1;
        summary = label->text();
        missing = rows(files, 0);
        found = rows(files, 1);
        suggested = rows(mappings, 0) + rows(mappings, 1) + rows(mappings, 2);
        if (auto* shown = dialog.findChild<QLabel*>(QStringLiteral("mappingPreview")))
            preview = shown->text();
        QTest::mouseClick(use, Qt::LeftButton);
        return dialog.result();
    };

    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    QVERIFY(uitest::waitForRun(*dlg));

    QCOMPARE(title, QStringLiteral("Find missing files"));
    QCOMPARE(summary, QStringLiteral("Searched %1: found 2 of 2 missing files.").arg(disk));
    QCOMPARE(missing, QStringList({QStringLiteral("D:\\Video\\Clip.AVI"), QStringLiteral("D:\\Video\\Day1\\Toast.avi")}));
    // The candidate in the folder of the same name comes first.
    QCOMPARE(found, QStringList({QStringLiteral("Video/clip.avi (and 1 more)"), QStringLiteral("Video/Day1/toast.avi")}));
    QCOMPARE(suggested, QStringList({QStringLiteral("D:"), disk, QStringLiteral("2 of 2 missing files on D:")}));
    // Before it is saved, the mapping says what it finds.
    QCOMPARE(preview, QStringLiteral("Use mapping adds \"map D: = %1\" to the configuration file. It finds 2 missing "
                                     "files: D:\\Video\\Clip.AVI, D:\\Video\\Day1\\Toast.avi.")
                          .arg(disk));

    // The mapping is saved and the project scanned again, with nothing missing.
    const std::vector<DriveMapping> saved = ConfigFile::load(configFile.toStdString()).mappings();
    QCOMPARE(saved.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(saved[0].root), QStringLiteral("D:"));
    QCOMPARE(QString::fromStdString(saved[0].folder), disk);
    QCOMPARE(modals.messages.size(), std::size_t(2));
    QCOMPARE(modals.messages.back().text, QStringLiteral("completed\n") + project);
    QCOMPARE(dlg->m_fileList,
             referenceWithout(project, {QStringLiteral("D:\\Video\\Clip.AVI"), QStringLiteral("D:\\Video\\Day1\\Toast.avi")}));
    QVERIFY(!dlg->m_fileList.contains(QStringLiteral("D:\\")));
    QVERIFY(dlg->lastMissing().empty());
    QCOMPARE(ui::windowText(dlg->GetDlgItem(IDC_DVC_PATH)), project);
}

void FindMissingTest::findMissingOffersAFolderBelowADriveWhereTheFileTakesIt()
{
    // Found in a folder that shares no name with the stored one: only
    // D:\Video can stand for it.
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\Video\\Clip.AVI", "", 0}};
    const QString project = tempPath(QStringLiteral("folder.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    const QString elsewhere = tempPath(QStringLiteral("elsewhere"));
    makeFile(elsewhere + QStringLiteral("/clip.avi"));
    process(project);

    modals.folderAnswers = {elsewhere};
    QStringList suggested;
    bool useEnabled = false;
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        auto* mappings = dialog.findChild<QTreeWidget*>(QStringLiteral("suggestionList"));
        auto* use = dialog.findChild<QPushButton*>(QStringLiteral("useMappingButton"));
        if (!mappings || !use || mappings->topLevelItemCount() != 1)
            return -1;
        suggested = rows(mappings, 0);
        mappings->setCurrentItem(mappings->topLevelItem(0));
        useEnabled = use->isEnabled();
        QTest::mouseClick(use, Qt::LeftButton);
        return dialog.result();
    };
    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    QVERIFY(uitest::waitForRun(*dlg));
    QCOMPARE(suggested, QStringList({QStringLiteral("D:\\Video")}));

    // Offered exactly where the configuration file can map a folder.
    const bool fileTakesFolders = canonicalRoot("D:\\Video").has_value();
    QCOMPARE(useEnabled, fileTakesFolders);
    if (fileTakesFolders) {
        QCOMPARE(modals.messages.size(), std::size_t(2));
        QVERIFY(dlg->lastMissing().empty());
        const std::vector<DriveMapping> saved = ConfigFile::load(configFile.toStdString()).mappings();
        QCOMPARE(saved.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(saved[0].root), QStringLiteral("D:\\Video"));
        QCOMPARE(QString::fromStdString(saved[0].folder), elsewhere);
    } else {
        QVERIFY(!QFile::exists(configFile));
        QCOMPARE(modals.messages.size(), std::size_t(1)); // no second run
    }
}

void FindMissingTest::aMappingTheConfigurationFileCannotHoldIsNeverSaved()
{
    // Found only below a folder named to read as a configuration line: the
    // search suggests nothing, and nothing is saved.
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\Video\\Clip.AVI", "", 0}};
    const QString project = tempPath(QStringLiteral("hostile.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    const QString disk = tempPath(QStringLiteral("disk"));
    makeFile(disk + QStringLiteral("/x\nmap E: = /tmp/pwn/Video/clip.avi"));
    process(project);
    modals.folderAnswers = {disk};
    QStringList suggested, found;
    bool useEnabled = true;
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        auto* mappings = dialog.findChild<QTreeWidget*>(QStringLiteral("suggestionList"));
        auto* use = dialog.findChild<QPushButton*>(QStringLiteral("useMappingButton"));
        if (!mappings || !use)
            return -1;
        suggested = rows(mappings, 1);
        if (auto* files = dialog.findChild<QTreeView*>(QStringLiteral("missingList")))
            found = rows(files, 1);
        useEnabled = use->isEnabled();
        return static_cast<int>(QDialog::Rejected);
    };
    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    QVERIFY(uitest::waitForRun(*dlg));
    // Shown on one line, the line break as an escape.
    QCOMPARE(found, QStringList({QStringLiteral("x\\nmap E: = /tmp/pwn/Video/clip.avi")}));
    QCOMPARE(suggested, QStringList({QString()})); // the row that says there is none
    QVERIFY(!useEnabled);
    QVERIFY(!QFile::exists(configFile));

    // Offered such a mapping all the same, the dialog says why it cannot be
    // saved and will not end with it.
    const struct {
        const char* stored;
        const char* local;
        const char* why;
    } cases[] = {
        {"D:", "/media/x\nmap E: = /tmp/pwn", "'/media/x\\x0Amap E: = /tmp/pwn' holds a line break"},
        {"D:\\Vid\x1B[2Jeo", "/media/video", "'D:\\Vid\\x1B[2Jeo' holds a control character"},
        {"D:", "/media/ends in a blank ", "would read back as another mapping"},
    };
    for (const auto& c : cases) {
        std::vector<MappingSuggestion> hostile(1);
        hostile[0].root = "D:";
        hostile[0].storedPrefix = c.stored;
        hostile[0].storedDepth = hostile[0].storedPrefix == "D:" ? 0 : 1;
        hostile[0].localFolder = c.local;
        auto results = std::make_shared<const SearchResults>(FileIndex(), std::vector<MissingMatch>{},
                                                             std::vector<Decision>{}, std::move(hostile));
        ui::FindMissingDlg dialog(QStringLiteral("/media"), results, nullptr, {MappingSources::fromEnvironment()}, dlg);
        dialog.show();
        auto* mappings = dialog.findChild<QTreeWidget*>(QStringLiteral("suggestionList"));
        auto* use = dialog.findChild<QPushButton*>(QStringLiteral("useMappingButton"));
        auto* preview = dialog.findChild<QLabel*>(QStringLiteral("mappingPreview"));
        QVERIFY(mappings && use && preview);
        mappings->setCurrentItem(mappings->topLevelItem(0));
        QVERIFY2(!use->isEnabled(), c.why);
        QVERIFY2(preview->text().startsWith(QStringLiteral("Use mapping cannot save this mapping: ")), c.why);
        QVERIFY2(preview->text().contains(QString::fromUtf8(c.why)), qPrintable(preview->text()));
        QVERIFY(rows(mappings, 2).front().endsWith(QStringLiteral("(a folder name that cannot be mapped)")));
        QTest::mouseClick(use, Qt::LeftButton);
        QVERIFY(!dialog.chosenMapping());
        QCOMPARE(dialog.result(), static_cast<int>(QDialog::Rejected));
    }
    QVERIFY(!QFile::exists(configFile));
}

void FindMissingTest::aSearchStopsAtOnceAndShowsNothing_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("Escape") << false;
    QTest::newRow("close button") << true;
}

void FindMissingTest::aSearchStopsAtOnceAndShowsNothing()
{
    QFETCH(bool, close);
    std::chrono::steady_clock::duration later{};
    dlg->setPacerClock([&later] { return std::chrono::steady_clock::now() + later; });
    process(QStringLiteral("samples/wedding.dvc"));
    const QString status = item<QLineEdit>(*dlg, IDC_STATUS)->text();
    auto* processButton = item<QPushButton>(*dlg, IDC_PROCESS);
    modals.folderAnswers = {QDir::currentPath()};
    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    // The search runs on, the dialog takes input meanwhile.
    QVERIFY(dlg->busy());
    QVERIFY(!processButton->isEnabled());
    QVERIFY(item<QLineEdit>(*dlg, IDC_STATUS)->text().startsWith(QLatin1String("Searching: ")));

    if (close) {
        QVERIFY(dlg->close());
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), IDCANCEL);
    } else {
        QTest::keyClick(dlg, Qt::Key_Escape);
        QVERIFY(dlg->isVisible());
        QVERIFY(item<QLineEdit>(*dlg, IDC_STATUS)->text().startsWith(QLatin1String("Search stopped after ")));
        QVERIFY(processButton->isEnabled());
        // A second Escape just after stops nothing more and keeps the dialog.
        QTest::keyClick(dlg, Qt::Key_Escape);
        QVERIFY(dlg->isVisible());
    }
    QVERIFY(!dlg->busy());
    // What the stopped search found, once its thread has ended, is shown nowhere.
    QVERIFY(uitest::waitUntil([] { return ui::BackgroundTask::abandonedRunning() == 0; }));
    QCoreApplication::processEvents();
    QVERIFY(modals.dialogTitles.empty());
    QVERIFY(status != item<QLineEdit>(*dlg, IDC_STATUS)->text());
    if (!close) {
        later += ui::StopGrace::kPeriod;
        QTest::keyClick(dlg, Qt::Key_Escape);
        QVERIFY(!dlg->isVisible());
    }
}

void FindMissingTest::theCatalogueNamesTheDiskToPlugInForAFileTheFolderDoesNotHold()
{
    // 2024-07-01 at noon UTC: the same day in every time zone within eleven hours.
    constexpr std::int64_t kLastSeen = 1719835200;
    {
        const std::unique_ptr<SqliteCatalogue> store = SqliteCatalogue::open(freshCatalogue());
        VolumeIdentity id;
        id.kind = VolumeKind::Uuid;
        id.uuid = "5E1F-0B0B";
        id.key = "uuid:" + id.uuid;
        id.label = "WD_2024_B"; // no mount table lists it: not connected
        inOneUnit(*store, [&] {
            const CatalogueId volume = store->recordVolume(id, "/media/me/WD_2024_B", kLastSeen).id;
            const CatalogueId folder = store->addFolder(volume, "Footage/2024-06-15/FX6", kLastSeen);
            store->addFile(folder, "C0001.MP4", {1000, kLastSeen * 1000000000, 7}, std::nullopt);
        });
    }
    testkit::ProjectModel model;
    model.bin = {{"clip", "D:\\Footage\\2024-06-15\\FX6\\C0001.MP4"}, {"intro", "D:\\Footage\\Titles\\Intro.avi"}};
    const QString project = tempPath(QStringLiteral("shoot.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    const QString searched = tempPath(QStringLiteral("searched"));
    makeFile(searched + QStringLiteral("/Titles/Intro.avi"));
    process(project);

    // The file the folder holds is found there; the other names its disk,
    // and its tooltip when it was last seen there.
    QCOMPARE(findMissingIn(searched),
             QStringList({QStringLiteral("Searched %1: found 1 of 2 missing files. On disks not connected: 1 missing "
                                         "file, on \"WD_2024_B\".")
                              .arg(searched),
                          QStringLiteral("on \"WD_2024_B\" (not connected): Footage/2024-06-15/FX6/C0001.MP4"),
                          QStringLiteral("Titles/Intro.avi"),
                          QStringLiteral("on disk \"WD_2024_B\" (not connected), at Footage/2024-06-15/FX6/C0001.MP4, "
                                         "last seen on %1")
                              .arg(QDateTime::fromSecsSinceEpoch(kLastSeen).date().toString(Qt::ISODate))}));
}

void FindMissingTest::rememberedMediaFindARenamedClipAndTellWhatChanged()
{
    freshCatalogue();
    const auto rememberEntry = [this] {
        for (const ui::MenuEntry& entry : dlg->GetSystemMenu(false)->entries()) {
            if (entry.command == IDM_REMEMBER)
                return entry.flags & ui::kMenuChecked;
        }
        return 0u;
    };
    QCOMPARE(rememberEntry(), ui::kMenuUnchecked);
    dlg->OnSysCommand(IDM_REMEMBER, 0);
    QCOMPARE(rememberEntry(), ui::kMenuChecked);
    QVERIFY(ConfigFile::load(configFile.toStdString()).remember());

    const QString disk = tempPath(QStringLiteral("disk"));
    const QString clip = disk + QStringLiteral("/Shoot/C0001.MP4");
    const auto writeClip = [](const QString& path, char fill) {
        QFile file(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray(3000, fill)) == 3000);
    };
    writeClip(clip, 'a');
    testkit::ProjectModel model;
    model.bin = {{"clip", QFile::encodeName(clip).toStdString()}};
    const QString project = tempPath(QStringLiteral("wedding.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    const auto closing = [this, &project] {
        process(project);
        return modals.messages.empty() ? QString() : modals.messages.back().text;
    };
    QCOMPARE(closing(), QStringLiteral("completed\n%1\n\n1 present files remembered, 0 of them as before.").arg(project));
    QCOMPARE(closing(), QStringLiteral("completed\n%1\n\n1 present files remembered, 1 of them as before.").arg(project));

    // Renamed, it is found by what was remembered of it: by name it is not.
    const QString renamed = disk + QStringLiteral("/Shoot/Einzug_Braut.mp4");
    QVERIFY(QFile::rename(clip, renamed));
    process(project);
    QCOMPARE(findMissingIn(disk).value(1), QStringLiteral("Shoot/Einzug_Braut.mp4"));

    // The same size with other bytes is listed as changed.
    QVERIFY(QFile::rename(renamed, clip));
    writeClip(clip, 'b');
    QCOMPARE(closing(), QStringLiteral("completed\n%1\n\n1 present files remembered, 0 of them as before.\n\n"
                                       "Changed since last seen: 1\n%2 (same size, other content)")
                            .arg(project, clip));

    // Turned off, a scan remembers nothing.
    dlg->OnSysCommand(IDM_REMEMBER, 0);
    QCOMPARE(rememberEntry(), ui::kMenuUnchecked);
    QCOMPARE(closing(), QStringLiteral("completed\n%1").arg(project));
}

void FindMissingTest::aDiskCataloguedTwiceIsReadOnceAndSaysWhatChanged()
{
    freshCatalogue();
    const QString disk = tempPath(QStringLiteral("card"));
    for (const char* name : {"/DCIM/100CANON/MVI_0001.MOV", "/DCIM/100CANON/MVI_0002.MOV"}) {
        QFile file(disk + QLatin1String(name));
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()) && file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    const auto catalogue = [&] {
        modals.folderAnswers = {disk};
        dlg->OnSysCommand(IDM_CATALOGUE, 0);
        [&] { QVERIFY(uitest::waitForRun(*dlg)); }();
        const QStringList lines = modals.messages.empty() ? QStringList() : modals.messages.back().text.split('\n');
        return lines.size() == 2 && lines[0].startsWith(QStringLiteral("Catalogued %1 on disk \"").arg(disk))
                   ? lines[1]
                   : lines.join('|');
    };
    QCOMPARE(catalogue(), QStringLiteral("2 files in 3 folders: 2 new, 0 changed, 0 gone; 2 fingerprinted, 0 without "
                                         "a fingerprint."));
    QVERIFY(QFile::remove(disk + QStringLiteral("/DCIM/100CANON/MVI_0002.MOV")));
    QCOMPARE(catalogue(), QStringLiteral("1 files in 3 folders: 0 new, 0 changed, 1 gone; 0 fingerprinted, 0 without "
                                         "a fingerprint."));
    QCOMPARE(modals.messages.back().icon, ui::MessageIcon::None);

    // Escape stops it, and the box says what was recorded; the window stays.
    std::size_t said = modals.messages.size();
    modals.folderAnswers = {disk};
    dlg->OnSysCommand(IDM_CATALOGUE, 0);
    QVERIFY(dlg->busy());
    QTest::keyClick(dlg, Qt::Key_Escape);
    QVERIFY(uitest::waitForRun(*dlg));
    QVERIFY(dlg->isVisible());
    QCOMPARE(modals.messages.size(), said + 1);
    QVERIFY(modals.messages.back().text.contains(QStringLiteral(" on disk \"")));

    // Closed meanwhile, the window goes at once and says nothing more.
    said = modals.messages.size();
    modals.folderAnswers = {disk};
    dlg->OnSysCommand(IDM_CATALOGUE, 0);
    QVERIFY(dlg->busy());
    QVERIFY(dlg->close());
    QVERIFY(!dlg->isVisible());
    QTest::qWait(50);
    QCOMPARE(modals.messages.size(), said);
}

void FindMissingTest::aCatalogueThatIsNotOneIsNamedAndNeverWritten()
{
    const std::string path = freshCatalogue();
    QVERIFY(QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath()));
    const QByteArray notACatalogue = QByteArray("SQLite format 3") + QByteArray(4081, '\x5a');
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(notACatalogue) == notACatalogue.size());
    file.close();
    const QString disk = tempPath(QStringLiteral("card"));
    makeFile(disk + QStringLiteral("/clip.mov"));

    modals.folderAnswers = {disk};
    dlg->OnSysCommand(IDM_CATALOGUE, 0);
    QVERIFY(uitest::waitForRun(*dlg));
    QVERIFY(modals.messages.back().text.startsWith(QStringLiteral("The catalogue of disks cannot be opened: ")));
    QCOMPARE(modals.messages.back().icon, ui::MessageIcon::Exclamation);

    ConfigFile config;
    config.setRemember(true);
    QVERIFY(config.save(configFile.toStdString()));
    testkit::ProjectModel model;
    model.bin = {{"clip", QFile::encodeName(disk + QStringLiteral("/clip.mov")).toStdString()}};
    const QString project = tempPath(QStringLiteral("card.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    process(project);
    QVERIFY(modals.messages.back().text.startsWith(
        QStringLiteral("completed\n%1\n\nThe present media were not remembered: ").arg(project)));

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), notACatalogue);
}

int main(int argc, char** argv)
{
    korvane::CScanApp app(argc, argv);
    FindMissingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "find_missing_test.moc"
