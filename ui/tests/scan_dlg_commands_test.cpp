// The main dialog's commands: the file picker, the keys, the window menu
// with the about entry, and the application starting it with a path.

#include "test_support.h"

#include "ui/drive_mapping_dlg.h"
#include "ui/find_missing_dlg.h"
#include "ui/framework/system_menu.h"
#include "ui/put_back_dlg.h"
#include "ui/undo_dlg.h"
#include "ui/resource_ids.h"
#include "ui/scan_app.h"
#include "ui/scan_dlg.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QMessageBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <algorithm>

using namespace korvane;
using uitest::item;

class ScanDlgCommandsTest : public QObject, private uitest::DialogFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

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

    void initInstanceStartsWithTheGivenPath();
    void everyWindowHasTheMainDialogsFont();
};

void ScanDlgCommandsTest::initTestCase()
{
    isolate();
}

void ScanDlgCommandsTest::init()
{
    openDialog();
}

void ScanDlgCommandsTest::cleanup()
{
    closeDialog();
}

void ScanDlgCommandsTest::browseOffersProjectFilesAndKeepsTypedPathOnCancel()
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

void ScanDlgCommandsTest::browsePutsChosenFileInPathBox()
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

void ScanDlgCommandsTest::enterInPathBoxRunsProcess()
{
    typePath(QStringLiteral("samples/holiday.dvc"));
    auto* edit = item<QLineEdit>(*dlg, IDC_DVC_PATH);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(uitest::waitForRun(*dlg));
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.front().text, QStringLiteral("completed\nsamples/holiday.dvc"));
    QVERIFY(dlg->isVisible());

    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(uitest::waitForRun(*dlg));
    QCOMPARE(modals.messages.size(), std::size_t(2));
    QVERIFY(dlg->isVisible());
}

void ScanDlgCommandsTest::enterInReadOnlyBoxesDoesNothing()
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

void ScanDlgCommandsTest::enterOnAButtonPressesIt()
{
    auto* browse = item<QPushButton>(*dlg, IDC_BROWSE);
    browse->setFocus();
    QTest::keyClick(browse, Qt::Key_Return);
    QCOMPARE(modals.fileRequests.size(), std::size_t(1));
    QVERIFY(modals.messages.empty());
    QVERIFY(dlg->isVisible());
}

void ScanDlgCommandsTest::escapeAndCloseEndTheDialog()
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

void ScanDlgCommandsTest::windowMenuEndsWithTheAboutEntry()
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

void ScanDlgCommandsTest::menuKeyAndShiftF10OpenTheWindowMenuOnce()
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

void ScanDlgCommandsTest::aboutCommandIsComparedWithLowBitsMasked()
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

void ScanDlgCommandsTest::standardWindowCommandsStillWork()
{
    dlg->OnSysCommand(ui::kScMinimize, 0);
    QTRY_VERIFY(dlg->isMinimized());
    dlg->showNormal();
    dlg->OnSysCommand(ui::kScClose, 0);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), IDCANCEL);
    QVERIFY(modals.dialogTitles.empty());
}

void ScanDlgCommandsTest::initInstanceStartsWithTheGivenPath()
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

void ScanDlgCommandsTest::everyWindowHasTheMainDialogsFont()
{
    auto results = std::make_shared<const SearchResults>(FileIndex(), std::vector<MissingMatch>{},
                                                         std::vector<Decision>{}, std::vector<MappingSuggestion>{});
    const ui::PlanSettings settings{MappingSources::fromEnvironment()};
    ui::DriveMappingDlg mapping(settings.sources, dlg);
    ui::FindMissingDlg find(QStringLiteral("/media"), results, nullptr, settings, dlg);
    ui::PutBackDlg putBack(results, settings, dlg);
    ui::UndoDlg undo("/no/such/journal", dlg);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("korvane"), QStringLiteral("text"), QMessageBox::Ok, dlg);
    QFileDialog files(dlg);
    for (QWidget* window : std::initializer_list<QWidget*>{&mapping, &find, &putBack, &undo, &box, &files}) {
        QVERIFY2(window->font().family() == dlg->font().family(), window->metaObject()->className());
        QCOMPARE(QFontInfo(window->font()).pointSize(), QFontInfo(dlg->font()).pointSize());
    }
}

int main(int argc, char** argv)
{
    korvane::CScanApp app(argc, argv);
    ScanDlgCommandsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "scan_dlg_commands_test.moc"
