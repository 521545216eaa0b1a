// The about box: its template, and the keys that end it.

#include "test_support.h"

#include "ui/about_dlg.h"
#include "ui/framework/controls.h"
#include "ui/resource_ids.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace korvane;

class AboutDlgTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }
    void templateLaysOutSevenControlsInOrder();
    void onlyOkIsATabStopAndItIsTheDefault();
    void okEnterAndEscapeEndIt();
};

void AboutDlgTest::templateLaysOutSevenControlsInOrder()
{
    CAboutDlg about;
    QVERIFY(about.Create());
    QCOMPARE(about.windowTitle(), QStringLiteral("korvane version information"));
    QCOMPARE(about.size(), about.dialogUnits().toPixels(QSize(235, 131)));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(about.windowFlags() & Qt::WindowMaximizeButtonHint));

    const QRect rects[] = {QRect(17, 31, 20, 20), QRect(86, 83, 60, 8),   QRect(86, 93, 119, 8),
                           QRect(178, 7, 50, 14), QRect(43, 30, 166, 29), QRect(86, 104, 92, 8),
                           QRect(86, 114, 52, 8)};
    const auto& controls = about.controls();
    QCOMPARE(controls.size(), std::size(rects));
    for (std::size_t k = 0; k < controls.size(); ++k) {
        QRect expected = about.dialogUnits().toPixels(rects[k]);
        if (k == 0)
            expected.setSize(QSize(32, 32)); // an icon takes the size of its picture
        const QRect actual = controls[k]->geometry();
        auto* label = qobject_cast<QLabel*>(controls[k]);
        if (label && !label->wordWrap() && actual.width() != expected.width()) {
            // A one-line label that its text does not fit grows to the right, inside the dialog.
            QVERIFY(actual.width() > expected.width());
            QVERIFY(actual.right() < about.width());
            QCOMPARE(actual.width(), label->fontMetrics().horizontalAdvance(label->text()) + 1);
            expected.setWidth(actual.width());
        }
        QCOMPARE(actual, expected);
    }
    // The version is shown whole, whatever the font; the maker's notice
    // within its own 119 units, never widened.
    for (std::size_t k : {1u, 2u})
        QVERIFY(controls[k]->fontMetrics().horizontalAdvance(ui::windowText(controls[k])) < controls[k]->width());
    QCOMPARE(controls[2]->geometry(), about.dialogUnits().toPixels(rects[2]));

    auto* icon = qobject_cast<QLabel*>(controls[0]);
    QVERIFY(icon && !icon->pixmap().isNull());
    QCOMPARE(ui::windowText(controls[1]), QStringLiteral("korvane Version 1.02"));
    QCOMPARE(ui::windowText(controls[3]), QStringLiteral("OK"));
    QCOMPARE(controls[3]->property("controlId").toInt(), IDOK);
    QCOMPARE(ui::windowText(controls[4]),
             QStringLiteral("A list raises the file which the project file (*.dvc) of RexEdit (It copes with it to "
                            "Ver2.9.) is referred to with and which isn't found."));
    QVERIFY(qobject_cast<QLabel*>(controls[4])->wordWrap());
    for (std::size_t k : {2u, 5u, 6u})
        QVERIFY(!ui::windowText(controls[k]).isEmpty());
}

void AboutDlgTest::onlyOkIsATabStopAndItIsTheDefault()
{
    CAboutDlg about;
    QVERIFY(about.Create());
    for (QWidget* control : about.controls()) {
        const bool ok = control == about.GetDlgItem(IDOK);
        QCOMPARE(control->focusPolicy() == Qt::StrongFocus, ok);
    }
    QVERIFY(qobject_cast<QPushButton*>(about.GetDlgItem(IDOK))->isDefault());
}

void AboutDlgTest::okEnterAndEscapeEndIt()
{
    struct Case {
        std::function<void(CAboutDlg&)> act;
        int result;
    };
    const Case cases[] = {
        {[](CAboutDlg& d) { QTest::mouseClick(d.GetDlgItem(IDOK), Qt::LeftButton); }, IDOK},
        {[](CAboutDlg& d) { QTest::keyClick(&d, Qt::Key_Return); }, IDOK},
        {[](CAboutDlg& d) { QTest::keyClick(d.GetDlgItem(IDOK), Qt::Key_Escape); }, IDCANCEL},
        {[](CAboutDlg& d) { d.close(); }, IDCANCEL},
    };
    for (const Case& c : cases) {
        CAboutDlg about;
        QVERIFY(about.Create());
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        c.act(about);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), c.result);
    }
}

QTEST_MAIN(AboutDlgTest)
#include "about_dlg_test.moc"
