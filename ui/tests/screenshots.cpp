// Takes the README's screenshots of the dialogs: the main dialog after a
// run of the wedding sample, its window menu, the about box, the drive
// mapping and the search for missing files. Not a test: scripts/screenshots.sh
// runs it on a virtual X display.
//
// Usage: korvane-ui-screenshots FOLDER [Qt Test options]

#include "test_support.h"

#include "ui/framework/system_menu.h"
#include "ui/resource_ids.h"
#include "ui/scan_app.h"
#include "ui/scan_dlg.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QLocale>
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

    shot = QImage();
    modals.folderAnswers = {disk};
    modals.onDialog = [&](QDialog& dialog) {
        dialog.show();
        shot = screenshot({&dialog});
        dialog.done(QDialog::Rejected);
        return dialog.result();
    };
    dlg->OnSysCommand(IDM_FINDMISSING, 0);
    save(shot, "find-missing.png");

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
