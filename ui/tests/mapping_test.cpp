// Windows paths in the dialog: the existence test through the drive
// mappings, stored names shown decoded, the note of unmapped drives and the
// "Drive mapping..." dialog.

#include "mapping_support.h"

#include "paths/config_file.h"
#include "paths/drive_map.h"
#include "ui/drive_mapping_dlg.h"
#include "ui/framework/system_menu.h"
#include "ui/resource_ids.h"
#include "ui/scan_app.h"
#include "ui/scan_dlg.h"
#include "ui/unmapped_note.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace korvane;
using uitest::makeFile;
using uitest::referenceWithout;
using uitest::rows;

namespace {

void writeText(const QString& path, const QByteArray& text)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QTreeWidgetItem* rowOf(QTreeWidget* list, const QString& first)
{
    const QList<QTreeWidgetItem*> found = list->findItems(first, Qt::MatchExactly, 0);
    return found.isEmpty() ? nullptr : found.front();
}

QPushButton* standardButton(QDialog& dialog, QDialogButtonBox::StandardButton which)
{
    auto* box = dialog.findChild<QDialogButtonBox*>();
    return box ? box->button(which) : nullptr;
}

} // namespace

class MappingTest : public QObject, private uitest::MappingFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mappedDrivePathIsReportedAsFound();
    void storedCp932NameIsShownDecoded();
    void aNameFoundOnlyInTheOtherCodePageIsNamedInTheClosingBox();
    void unmappedDrivesAndSharesAreNamedInTheClosingBox();
    void unmappedSentenceNamesEachRootOnce_data();
    void unmappedSentenceNamesEachRootOnce();

    void contextMenuKeepsTheAboutEntryLast();
    void driveMappingSavesToTheConfigurationFileAndTheNextRunUsesIt();
    void driveMappingRemovesOnlyTheFilesMappings();
    void driveMappingTakesOnlyDrivesAndShares();
    void driveMappingCancelledSavesNothing();
};

void MappingTest::initTestCase()
{
    isolate();
}

void MappingTest::init()
{
    openWithoutSettings();
}

void MappingTest::cleanup()
{
    closeAndRemoveFiles();
}

void MappingTest::mappedDrivePathIsReportedAsFound()
{
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\Video\\Wedding\\Clip 01.AVI", "", 0}, {"D:\\Video\\Gone.avi", "", 0}};
    model.exAudio1 = {{"no/such/folder/music.wav", "", 0}};
    const QString project = tempPath(QStringLiteral("mapped.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    // Stored in other case than on disk, as the editor's file system allowed.
    makeFile(tempPath(QStringLiteral("media/video/wedding/clip 01.avi")));
    writeText(configFile, QByteArray("map d: = ") + QFile::encodeName(tempPath(QStringLiteral("media"))) + "\n");

    process(project);

    // The mapped file is found; the one gone from the mapped folder and the
    // name that is no Windows path are listed as before.
    QCOMPARE(dlg->m_fileList, referenceWithout(project, {QStringLiteral("D:\\Video\\Wedding\\Clip 01.AVI")}));
    QVERIFY(dlg->m_fileList.contains(QStringLiteral("D:\\Video\\Gone.avi\r\n")));
    QVERIFY(dlg->m_fileList.contains(QStringLiteral("no/such/folder/music.wav\r\n")));
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("completed\n") + project);
    QVERIFY(dlg->lastUnmapped().empty());
}

void MappingTest::storedCp932NameIsShownDecoded()
{
    // 表 is 95 5C in the Japanese code page: its second byte is a backslash.
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\\x95\x5C\\\x83\x5C\x83\x74\x83\x67.avi", "", 0}};
    // E9 20 is no character of it: the Western code page.
    model.bin = {{"clip", "E:\\Caf\xE9 Noir\\intro.avi"}};
    const QString project = tempPath(QStringLiteral("cp932.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));

    process(project);

    QVERIFY2(dlg->m_fileList.contains(QStringLiteral("D:\\表\\ソフト.avi\r\n")), qPrintable(dlg->m_fileList));
    QVERIFY2(dlg->m_fileList.contains(QStringLiteral("E:\\Café Noir\\intro.avi\r\n")), qPrintable(dlg->m_fileList));
    QVERIFY(!dlg->m_fileList.contains(QChar::ReplacementCharacter));
    QCOMPARE(ui::windowText(dlg->GetDlgItem(IDC_FILE_LIST)), dlg->m_fileList);
    // The headings are as they were.
    QVERIFY(dlg->m_fileList.startsWith(QStringLiteral("[MainAV]\r\nD:\\表")));
    QVERIFY(dlg->m_fileList.contains(QStringLiteral("[BinWindow]\r\nE:\\Café")));
}

void MappingTest::aNameFoundOnlyInTheOtherCodePageIsNamedInTheClosingBox()
{
    // Japanese names throughout, and one Western name that reads as CP932
    // too (DF is a half-width katakana) but is on the disk in Windows-1252.
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\\x95\x5C\\\x83\x5C\x83\x74\x83\x67.avi", "", 0},
                    {"D:\\\x8C\x8B\x8D\xA5\x8E\xAE.avi", "", 0},
                    {"D:\\Stra\xDF" "e.avi", "", 0}};
    const QString project = tempPath(QStringLiteral("mixed.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    const QString found = tempPath(QStringLiteral("d/Straße.avi"));
    makeFile(found);
    writeText(configFile, QByteArray("map D: = ") + QFile::encodeName(tempPath(QStringLiteral("d"))) + "\n");

    process(project);

    QVERIFY2(!dlg->m_fileList.contains(QStringLiteral("Stra")), qPrintable(dlg->m_fileList));
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text,
             QStringLiteral("completed\n") + project +
                 QStringLiteral("\n\n1 name was found only when read in another code page than the rest of the "
                                "project: ") +
                 found + QStringLiteral(" (read as WINDOWS-1252)."));
}

void MappingTest::unmappedDrivesAndSharesAreNamedInTheClosingBox()
{
    testkit::ProjectModel model;
    model.mainAV = {{"D:\\a.avi", "", 0}, {"d:\\b.avi", "", 0}, {"C:\\c.avi", "", 0}};
    model.exAudio1 = {{"\\\\nas\\media\\intro.wav", "", 0}};
    const QString project = tempPath(QStringLiteral("unmapped.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    // C: is mapped, to a folder without the file: missing, but looked for.
    writeText(configFile, QByteArray("map C: = ") + QFile::encodeName(work->path()) + "\n");

    process(project);

    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text,
             QStringLiteral("completed\n") + project +
                 QStringLiteral("\n\nDrive D: and share \\\\nas\\media have no mapping, so their files were not "
                                "looked for."));
    QCOMPARE(modals.messages.front().icon, ui::MessageIcon::None);
    QVERIFY(dlg->m_fileList.contains(QStringLiteral("C:\\c.avi\r\n")));

    // A project that names no unmapped drive says nothing of the kind.
    modals.messages.clear();
    process(QStringLiteral("samples/holiday.dvc"));
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("completed\nsamples/holiday.dvc"));
}

void MappingTest::unmappedSentenceNamesEachRootOnce_data()
{
    QTest::addColumn<QStringList>("roots");
    QTest::addColumn<QString>("sentence");
    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("drive") << QStringList{"D:"} << "Drive D: has no mapping, so its files were not looked for.";
    QTest::newRow("share") << QStringList{"\\\\nas\\media"}
                           << "Share \\\\nas\\media has no mapping, so its files were not looked for.";
    QTest::newRow("drives") << QStringList{"D:", "E:", "F:"}
                            << "Drives D:, E: and F: have no mapping, so their files were not looked for.";
    QTest::newRow("shares and a drive")
        << QStringList{"\\\\a\\x", "G:", "\\\\b\\y"}
        << "Drive G: and shares \\\\a\\x and \\\\b\\y have no mapping, so their files were not looked for.";
}

void MappingTest::unmappedSentenceNamesEachRootOnce()
{
    QFETCH(QStringList, roots);
    QFETCH(QString, sentence);
    std::vector<std::string> list;
    for (const QString& root : roots)
        list.push_back(root.toStdString());
    QCOMPARE(QString::fromStdString(ui::unmappedRootsSentence(list)), sentence);
}

void MappingTest::contextMenuKeepsTheAboutEntryLast()
{
    dlg->showSystemMenu(dlg->mapToGlobal(QPoint(0, 0)));
    QCOMPARE(modals.menus.size(), std::size_t(1));
    const uitest::ShownMenu& menu = modals.menus.front();
    const qsizetype n = menu.texts.size();
    QVERIFY(n >= 10);
    QCOMPARE(menu.texts.mid(n - 9), QStringList({QString(), QStringLiteral("&Drive mapping..."),
                                                 QStringLiteral("&Find missing files in folder..."),
                                                 QStringLiteral("&Undo last put back"), QString(),
                                                 QStringLiteral("&Catalogue a disk..."),
                                                 QStringLiteral("&Remember present media on each scan"), QString(),
                                                 QStringLiteral("korvane version information(&A)...")}));
    QCOMPARE(menu.commands[std::size_t(n - 8)], IDM_DRIVEMAPPING);
    QCOMPARE(menu.commands[std::size_t(n - 7)], IDM_FINDMISSING);
    QCOMPARE(menu.commands[std::size_t(n - 6)], IDM_UNDOPUTBACK);
    QCOMPARE(menu.commands[std::size_t(n - 4)], IDM_CATALOGUE);
    QCOMPARE(menu.commands[std::size_t(n - 3)], IDM_REMEMBER);
    QCOMPARE(menu.commands.back(), IDM_ABOUTBOX);
    // The new commands are compared masked, like the about entry.
    dlg->OnSysCommand(IDM_DRIVEMAPPING | 0x7, 0);
    QCOMPARE(modals.dialogTitles, std::vector<QString>({QStringLiteral("Drive mapping")}));
}

void MappingTest::driveMappingSavesToTheConfigurationFileAndTheNextRunUsesIt()
{
    const QString video = tempPath(QStringLiteral("video"));
    const QString nas = tempPath(QStringLiteral("nas media"));
    makeFile(video + QStringLiteral("/clip.avi"));
    makeFile(nas + QStringLiteral("/intro.avi"));
    modals.folderAnswers = {video, nas};
    QStringList listed, sources;
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        auto* root = dialog.findChild<QComboBox*>(QStringLiteral("rootBox"));
        auto* add = dialog.findChild<QPushButton*>(QStringLiteral("addButton"));
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("mappingList"));
        if (!root || !add || !list)
            return -1;
        root->setEditText(QStringLiteral("d"));
        QTest::mouseClick(add, Qt::LeftButton);
        root->setEditText(QStringLiteral("//nas/media/"));
        QTest::mouseClick(add, Qt::LeftButton);
        listed = rows(list, 0) + rows(list, 1);
        sources = rows(list, 2);
        QTest::mouseClick(standardButton(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        return dialog.result();
    };

    dlg->OnSysCommand(IDM_DRIVEMAPPING, 0);

    QCOMPARE(modals.folderCaptions,
             std::vector<QString>({QStringLiteral("Folder for D:"), QStringLiteral("Folder for \\\\nas\\media")}));
    QCOMPARE(listed, QStringList({QStringLiteral("D:"), QStringLiteral("\\\\nas\\media"), video, nas}));
    QCOMPARE(sources, QStringList({QStringLiteral("configuration file"), QStringLiteral("configuration file")}));
    QVERIFY(modals.messages.empty());
    const ConfigFile saved = ConfigFile::load(configFile.toStdString());
    const std::vector<DriveMapping> mappings = saved.mappings();
    QCOMPARE(mappings.size(), std::size_t(2));
    QCOMPARE(QString::fromStdString(mappings[0].root), QStringLiteral("D:"));
    QCOMPARE(QString::fromStdString(mappings[0].folder), video);
    QCOMPARE(QString::fromStdString(mappings[1].root), QStringLiteral("\\\\nas\\media"));
    QCOMPARE(QString::fromStdString(mappings[1].folder), nas);

    testkit::ProjectModel model;
    model.mainAV = {{"D:\\CLIP.avi", "", 0}};
    model.bin = {{"intro", "\\\\NAS\\Media\\Intro.AVI"}};
    const QString project = tempPath(QStringLiteral("both.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    process(project);
    QCOMPARE(dlg->m_fileList, referenceWithout(project, {QStringLiteral("D:\\CLIP.avi"),
                                                         QStringLiteral("\\\\NAS\\Media\\Intro.AVI")}));
    QVERIFY(dlg->lastMissing().empty());
}

void MappingTest::driveMappingRemovesOnlyTheFilesMappings()
{
    writeText(configFile, "# mine\nmap D: = /srv/d\ncodepage = CP932\nmap E: = /srv/e\n");
    // A Wine prefix maps C: and E:; the file's E: is tried first.
    const QString dosdevices = settingsRoot.filePath(QStringLiteral("wine/dosdevices"));
    QVERIFY(QDir().mkpath(dosdevices));
    QVERIFY(QFile::link(work->path(), dosdevices + QStringLiteral("/c:")));
    QVERIFY(QFile::link(work->path(), dosdevices + QStringLiteral("/e:")));

    QStringList before, after;
    bool removeEnabledOnWine = true;
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("mappingList"));
        auto* remove = dialog.findChild<QPushButton*>(QStringLiteral("removeButton"));
        if (!list || !remove || !rowOf(list, QStringLiteral("C:")) || !rowOf(list, QStringLiteral("D:")))
            return -1;
        for (int k = 0; k < list->topLevelItemCount(); ++k)
            before << list->topLevelItem(k)->text(0) + QLatin1Char(' ') + list->topLevelItem(k)->text(2);
        list->setCurrentItem(rowOf(list, QStringLiteral("C:")));
        removeEnabledOnWine = remove->isEnabled();
        QTest::mouseClick(remove, Qt::LeftButton);
        list->setCurrentItem(rowOf(list, QStringLiteral("D:")));
        QTest::mouseClick(remove, Qt::LeftButton);
        after = rows(list, 0);
        QTest::mouseClick(standardButton(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        return dialog.result();
    };

    dlg->OnSysCommand(IDM_DRIVEMAPPING, 0);

    QCOMPARE(before, QStringList({QStringLiteral("D: configuration file"), QStringLiteral("E: configuration file"),
                                  QStringLiteral("C: Wine prefix"), QStringLiteral("E: Wine prefix")}));
    QVERIFY(!removeEnabledOnWine);
    QCOMPARE(after, QStringList({QStringLiteral("E:"), QStringLiteral("C:"), QStringLiteral("E:")}));
    QFile file(configFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // Comments and other settings are kept as they were.
    QCOMPARE(file.readAll(), QByteArray("# mine\ncodepage = CP932\nmap E: = /srv/e\n"));
}

void MappingTest::driveMappingTakesOnlyDrivesAndShares()
{
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        auto* root = dialog.findChild<QComboBox*>(QStringLiteral("rootBox"));
        auto* add = dialog.findChild<QPushButton*>(QStringLiteral("addButton"));
        if (!root || !add)
            return -1;
        for (const QString& text : {QStringLiteral("D:\\a*"), QStringLiteral("nas"), QString()}) {
            root->setEditText(text);
            QTest::mouseClick(add, Qt::LeftButton);
        }
        return dialog.result();
    };
    dlg->OnSysCommand(IDM_DRIVEMAPPING, 0);
    // Each was refused before a folder was asked for.
    QVERIFY(modals.folderCaptions.empty());
    QCOMPARE(modals.messages.size(), std::size_t(3));
    for (const uitest::ShownMessage& message : modals.messages) {
        QCOMPARE(message.caption, QStringLiteral("Drive mapping"));
        QCOMPARE(message.icon, ui::MessageIcon::Exclamation);
        QVERIFY(!message.text.isEmpty());
    }
    QVERIFY(!QFile::exists(configFile));
}

void MappingTest::driveMappingCancelledSavesNothing()
{
    modals.folderAnswers = {tempPath(QStringLiteral("x")), QString()};
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        auto* root = dialog.findChild<QComboBox*>(QStringLiteral("rootBox"));
        auto* add = dialog.findChild<QPushButton*>(QStringLiteral("addButton"));
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("mappingList"));
        if (!root || !add || !list)
            return -1;
        root->setEditText(QStringLiteral("F:"));
        QTest::mouseClick(add, Qt::LeftButton);
        root->setEditText(QStringLiteral("G:"));
        QTest::mouseClick(add, Qt::LeftButton); // the folder picker is cancelled
        if (rows(list, 0) != QStringList{QStringLiteral("F:")})
            return -2;
        QTest::mouseClick(standardButton(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
        return dialog.result();
    };
    dlg->OnSysCommand(IDM_DRIVEMAPPING, 0);
    QCOMPARE(modals.folderCaptions.size(), std::size_t(2));
    QVERIFY(!QFile::exists(configFile));
}

int main(int argc, char** argv)
{
    korvane::CScanApp app(argc, argv);
    MappingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mapping_test.moc"
