// Takes the README's screenshots of the dialogs: the main dialog after a
// run of the wedding sample, its window menu, the about box, the drive
// mapping, the search for missing files and putting them back. Not a test: scripts/screenshots.sh
// runs it on a virtual X display.
//
// Usage: korvane-ui-screenshots FOLDER [Qt Test options]

#include "test_support.h"
#include "catalogue/catalogue_location.h"
#include "catalogue/sqlite_catalogue.h"

#include "ui/find_missing_dlg.h"
#include "ui/framework/multi_line_edit.h"
#include "ui/framework/system_menu.h"
#include "ui/put_back_dlg.h"
#include "ui/undo_dlg.h"
#include "ui/resource_ids.h"
#include "ui/scan_app.h"
#include "ui/scan_dlg.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <cstdio>
#include <utility>
#include <vector>

using namespace korvane;

namespace {

QString outputFolder;

// What the screen shows of `widgets`, each a window: on a real display
// (xcb) the display's own pixels, elsewhere each one as Qt paints it, in
// its place.
QImage screenshot(const std::vector<QWidget*>& widgets)
{
    QRect area;
    for (QWidget* widget : widgets) {
        if (!QTest::qWaitForWindowExposed(widget))
            return {};
        area |= widget->geometry();
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        QTest::qWait(300); // until the X server has drawn what it was sent
        return widgets.front()->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    }
    const qreal ratio = widgets.front()->devicePixelRatio();
    QImage image((QSizeF(area.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (QWidget* widget : widgets)
        painter.drawPixmap(widget->geometry().topLeft() - area.topLeft(), widget->grab());
    painter.end();
    return image;
}

} // namespace

class Screenshots : public QObject, private uitest::DialogFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mainDialogItsMenuAndTheDialogsItOpens();

private:
    void save(const QImage& image, const char* name);
};

void Screenshots::initTestCase()
{
    // Only the settings written below: none of the machine's own.
    isolate();
    QVERIFY(QDir().mkpath(outputFolder));
}

void Screenshots::init()
{
    openDialog();
}

void Screenshots::cleanup()
{
    closeDialog();
}

void Screenshots::save(const QImage& image, const char* name)
{
    QVERIFY(!image.isNull());
    // Under a translated language the pictures are named for it: ja-main-dialog.png.
    const QLocale locale = QLocale::system();
    const bool english = locale.language() == QLocale::English || locale.language() == QLocale::C;
    const QString prefix = english ? QString() : locale.name().section(QLatin1Char('_'), 0, 0) + QLatin1Char('-');
    QVERIFY(image.save(outputFolder + QLatin1Char('/') + prefix + QLatin1String(name)));
}

void Screenshots::mainDialogItsMenuAndTheDialogsItOpens()
{
    // Some settings to show: a mapping of the file and a drive of a Wine prefix.
    QFile config(configFile);
    QVERIFY(QDir().mkpath(QFileInfo(configFile).absolutePath()));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("map E: = /media/usb-disk\nmap \\\\nas\\video = /mnt/nas/video\n");
    config.close();
    const QString wine = settingsRoot.filePath(QStringLiteral("wine"));
    QVERIFY(QDir().mkpath(wine + QStringLiteral("/drive_c")));
    QVERIFY(QDir().mkpath(wine + QStringLiteral("/dosdevices")));
    QFile::link(wine + QStringLiteral("/drive_c"), wine + QStringLiteral("/dosdevices/c:"));
    // Some of the sample's missing media, copied to a disk of their own.
    QTemporaryDir media;
    const QString disk = media.filePath(QStringLiteral("USB disk"));
    for (const char* name : {"Wedding 2019/Music/Waltz.wav", "Wedding 2019/Wedding/Toast.avi",
                             "Wedding 2019/Wedding/Vows.mp4", "Wedding 2019/Titles/Hearts.tga"}) {
        const QString path = disk + QLatin1Char('/') + QLatin1String(name);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    auto* path = qobject_cast<QLineEdit*>(dlg->GetDlgItem(IDC_DVC_PATH));
    QVERIFY(path);
    QTest::keyClicks(path, QStringLiteral("samples/wedding.dvc"));
    QTest::mouseClick(dlg->GetDlgItem(IDC_PROCESS), Qt::LeftButton);
    QVERIFY(uitest::waitForRun(*dlg));
    QCOMPARE(modals.messages.size(), std::size_t(1));
    const QImage main = screenshot({dlg});
    QCOMPARE(main.size(), dlg->size() * dlg->devicePixelRatio());
    save(main, "main-dialog.png");

    // The report and status boxes show when they have the focus.
    const std::pair<int, const char*> focused[] = {{IDC_FILE_LIST, "focus-report.png"}, {IDC_STATUS, "focus-status.png"}};
    for (const auto& [id, name] : focused) {
        dlg->GetDlgItem(id)->setFocus(Qt::TabFocusReason);
        save(screenshot({dlg}), name);
    }

    modals.onMenu = [&](QMenu& menu) {
        menu.popup(dlg->mapToGlobal(dlg->dialogUnits().toPixels(QRect(4, 44, 0, 0)).topLeft()));
        save(screenshot({dlg, &menu}), "context-menu.png");
        menu.hide();
    };
    dlg->showSystemMenu(dlg->mapToGlobal(QPoint(0, 0)));
    QCOMPARE(modals.menus.size(), std::size_t(1));

    QImage shot;
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        shot = screenshot({&dialog});
        dialog.done(IDOK);
        return dialog.result();
    };
    dlg->OnSysCommand(IDM_ABOUTBOX, 0);
    save(shot, "about-box.png");

    shot = QImage();
    dlg->OnSysCommand(IDM_DRIVEMAPPING, 0);
    save(shot, "drive-mapping.png");

    // A disk on the shelf, not connected, that the catalogue knows holds a
    // still the USB disk lacks.
    {
        const std::unique_ptr<SqliteCatalogue> store = SqliteCatalogue::open(defaultCataloguePath());
        VolumeIdentity id;
        id.kind = VolumeKind::Uuid;
        id.uuid = "5E1F-0B0B";
        id.key = "uuid:" + id.uuid;
        id.label = "WD_2024_B";
        const std::int64_t seen = QDateTime(QDate(2024, 6, 15), QTime(12, 0)).toSecsSinceEpoch();
        inOneUnit(*store, [&] {
            const CatalogueId volume = store->recordVolume(id, "/media/me/WD_2024_B", seen).id;
            const CatalogueId folder = store->addFolder(volume, "Wedding 2019/Wedding", seen);
            store->addFile(folder, "Guests.bmp", {48000, seen * 1000000000, 7}, std::nullopt);
        });
    }
    shot = QImage();
    modals.folderAnswers = {disk};
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        shot = screenshot({&dialog});
        dialog.done(QDialog::Rejected);
        return dialog.result();
    };
    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    QVERIFY(uitest::waitForRun(*dlg));
    save(shot, "find-missing.png");

    // A project of its own for putting back, since the sample's media are
    // the repository's: its D: mapped to an empty disk, its folder moved to
    // the USB disk, one clip there only transcoded, one name with a line
    // break and one very long.
    const QString videoDisk = media.filePath(QStringLiteral("Video disk"));
    QVERIFY(QDir().mkpath(videoDisk));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("map D: = " + QFile::encodeName(videoDisk) + "\n");
    config.close();
    const std::string longName(200, 'x'); // the longest a project stores, nearly
    testkit::ProjectModel model;
    for (const std::string name : {"Ceremony/Vows.avi", "Ceremony/Rings.avi", "Party/Toast.avi", "Party/Dance.avi",
                                   "Party/two\nlines.avi"}) {
        const QString file = disk + QStringLiteral("/Wedding 2019/") + QString::fromStdString(name);
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QFile clip(file);
        QVERIFY(clip.open(QIODevice::WriteOnly));
        QCOMPARE(clip.write(QByteArray(4096 + int(name.size()), 'v')), 4096 + qint64(name.size()));
    }
    // A backup of the ceremony with other takes of its clips: nothing tells
    // the two folders apart, so the plan offers a choice for each clip.
    QVERIFY(QDir().mkpath(disk + QStringLiteral("/Backup/Wedding 2019/Ceremony")));
    for (const char* name : {"Vows.avi", "Rings.avi"}) {
        QFile take(disk + QStringLiteral("/Backup/Wedding 2019/Ceremony/") + QLatin1String(name));
        QVERIFY(take.open(QIODevice::WriteOnly));
        QCOMPARE(take.write(QByteArray(8192, 't')), qint64(8192));
    }
    QVERIFY(QFile::copy(disk + QStringLiteral("/Wedding 2019/Party/Dance.avi"),
                        disk + QStringLiteral("/Wedding 2019/Party/") + QString::fromStdString(longName) + ".avi"));
    for (const std::string name : {"Ceremony\\Vows.avi", "Ceremony\\Rings.avi", "Party\\Toast.avi",
                                   "Party\\Dance.avi", "Party\\two\nlines.avi", "Party\\Speech.avi"})
        model.mainAV.push_back({"D:\\Wedding 2019\\" + name, "", 0});
    model.mainAV.push_back({"D:\\Wedding 2019\\Party\\" + longName + ".avi", "", 0});
    model.mainAV.push_back({"F:\\Wedding 2019\\Party\\Cake.avi", "", 0});
    QVERIFY(QDir().mkpath(disk + QStringLiteral("/Wedding 2019/Party")));
    QFile transcoded(disk + QStringLiteral("/Wedding 2019/Party/Speech.mp4"));
    QVERIFY(transcoded.open(QIODevice::WriteOnly));
    transcoded.close();
    const QString project = media.filePath(QStringLiteral("wedding.dvc"));
    uitest::writeProject(project, testkit::buildProject(model));
    dlg->m_dvcPath = project;
    dlg->UpdateData(false);
    dlg->OnProcess();
    QVERIFY(uitest::waitForRun(*dlg));

    QImage planned, done;
    modals.folderAnswers = {disk};
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        if (dynamic_cast<ui::FindMissingDlg*>(&dialog)) {
            if (auto* open = dialog.findChild<QPushButton*>(QStringLiteral("putBackDialogButton")))
                QTest::mouseClick(open, Qt::LeftButton);
            return dialog.result();
        }
        auto* put = dynamic_cast<ui::PutBackDlg*>(&dialog);
        auto* button = dialog.findChild<QPushButton*>(QStringLiteral("putBackButton"));
        if (!put || !button)
            return -1;
        auto* list = dialog.findChild<QTreeView*>(QStringLiteral("putBackList"));
        if (!uitest::waitUntil([put] { return !put->planning(); }))
            return -1;
        planned = screenshot({&dialog});
        QTest::mouseClick(button, Qt::LeftButton);
        if (!uitest::waitUntil([put] { return !put->applying(); }))
            return -1;
        // The row of the transcoded clip chosen, whose reason is cut in the list.
        if (list && list->model()->rowCount() > 5)
            list->setCurrentIndex(list->model()->index(5, 0));
        done = screenshot({&dialog});
        dialog.accept();
        return dialog.result();
    };
    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    QVERIFY(uitest::waitForRun(*dlg));
    save(planned, "put-back.png");
    save(done, "put-back-done.png");
    modals.onDialog = nullptr;

    modals.onMenu = [&](QMenu& menu) {
        menu.popup(dlg->mapToGlobal(dlg->dialogUnits().toPixels(QRect(4, 44, 0, 0)).topLeft()));
        save(screenshot({dlg, &menu}), "context-menu-undo.png");
        menu.hide();
    };
    dlg->showSystemMenu(dlg->mapToGlobal(QPoint(0, 0)));
    modals.onMenu = nullptr;

    // Undo says what it will remove before it removes anything.
    shot = QImage();
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        auto* undo = dynamic_cast<ui::UndoDlg*>(&dialog);
        if (!undo || !uitest::waitUntil([undo] { return !undo->checking(); }))
            return -1;
        shot = screenshot({&dialog});
        dialog.reject();
        return dialog.result();
    };
    dlg->OnSysCommand(IDM_UNDOPUTBACK, 0);
    QVERIFY(uitest::waitForRun(*dlg));
    save(shot, "undo.png");
    modals.onDialog = nullptr;

    // A long run stopped with Escape: the status line shows where, from its
    // beginning, and a part of the report is selected.
    const QString big = media.filePath(QStringLiteral("archive.dvc"));
    uitest::writeProject(big, testkit::buildProject(uitest::projectMissing(200000)));
    dlg->m_dvcPath = big;
    dlg->UpdateData(false);
    dlg->OnProcess();
    auto* report = dynamic_cast<ui::MultiLineEdit*>(dlg->GetDlgItem(IDC_FILE_LIST));
    QVERIFY(report);
    QVERIFY(uitest::waitUntil([&] { return !dlg->running() || report->lineCount() > 20000; }));
    QTest::keyClick(dlg, Qt::Key_Escape);
    QVERIFY(uitest::waitForRun(*dlg));
    report->setFocus(Qt::TabFocusReason);
    report->setSelection(report->windowText().indexOf(QLatin1String("clip3.avi")),
                         report->windowText().indexOf(QLatin1String("clip6.avi")) + 6);
    save(screenshot({dlg}), "stopped-run.png");

    QVERIFY(QFile::remove(configFile));
    QVERIFY(QDir(wine + QStringLiteral("/dosdevices")).removeRecursively());
}

int main(int argc, char** argv)
{
    if (argc < 2 || argv[1][0] == '-') {
        std::fputs("Usage: korvane-ui-screenshots FOLDER [Qt Test options]\n", stderr);
        return 2;
    }
    korvane::CScanApp app(argc, argv);
    outputFolder = QString::fromLocal8Bit(argv[1]);
    // Qt Test reads the options after the folder.
    std::vector<char*> testArguments{argv[0]};
    testArguments.insert(testArguments.end(), argv + 2, argv + argc);
    Screenshots screenshots;
    return QTest::qExec(&screenshots, static_cast<int>(testArguments.size()), testArguments.data());
}

#include "screenshots.moc"
