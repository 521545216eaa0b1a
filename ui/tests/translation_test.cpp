// The dialog's language: under Japanese every text of the templates, the
// window menu and the closing box is the catalogue's and fits where it is
// shown; under C each is exactly the English one.

#include "test_support.h"

#include "ui/about_dlg.h"
#include "ui/framework/controls.h"
#include "ui/framework/dialog_units.h"
#include "ui/framework/template_table.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/restore_texts.h"
#include "ui/scan_dlg.h"
#include "ui/translations.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QFontMetrics>
#include <QtTest>

#include <climits>

using namespace korvane;

class TranslationTest : public QObject, private uitest::DialogFixture {
    Q_OBJECT

private slots:
    void initTestCase() { isolate(); }
    void cleanup()
    {
        closeDialog();
        ui::installTranslations(QLocale::c());
    }
    void textsFollowTheLanguage_data();
    void textsFollowTheLanguage();
    void japaneseTextsFitTheirRectangles();
    void putBackAndUndoReasonsFollowTheLanguage_data();
    void putBackAndUndoReasonsFollowTheLanguage();
};

namespace {

// A missing file left out of a plan, and why.
RestoreStep leftStep(LeftReason reason, std::string detail = {}, std::vector<std::uint64_t> sizes = {})
{
    RestoreStep step;
    step.reason = reason;
    step.detail = std::move(detail);
    step.differentSizes = std::move(sizes);
    step.destination = "/media/v/Toast.avi";
    return step;
}

const std::vector<RestoreStep>& leftSteps()
{
    static const std::vector<RestoreStep> steps = {
        leftStep(LeftReason::NotFound),
        leftStep(LeftReason::OtherExtension),
        leftStep(LeftReason::DifferentFiles, {}, {1024, 2048, 4096}),
        leftStep(LeftReason::NoMapping, "D:"),
        leftStep(LeftReason::NoMapping, "\\\\nas\\media"),
        leftStep(LeftReason::AlreadyThere),
        // One the dialog has no words of its own for: the core's English.
        leftStep(LeftReason::NotSearched, "it names no file"),
    };
    return steps;
}

// Why undo keeps something; the last one only the core knows.
UndoItem keptItem(KeptBecause because, std::string subject)
{
    UndoItem item;
    item.because = because;
    item.why = describeKept(because, subject);
    item.subject = std::move(subject);
    return item;
}
const std::vector<UndoItem> keptReasons = {keptItem(KeptBecause::NotEmpty, {}),
                                           keptItem(KeptBecause::SourceGone, "/media/a.avi"),
                                           keptItem(KeptBecause::SystemError, "Permission denied")};

} // namespace

void TranslationTest::textsFollowTheLanguage_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QStringList>("mainTexts");  // the labels and buttons of IDD_MAIN, in template order
    QTest::addColumn<QStringList>("menuTexts");  // the window menu, separators left out
    QTest::addColumn<QStringList>("aboutTexts"); // title, maker's notice, OK, about text
    QTest::addColumn<QString>("closing");        // the closing box after a scan of the wedding sample

    QTest::newRow("C") << QLocale::c()
                       << QStringList{"Process", "Step1: Select dvc file", "...", "Step2:", "Files used in dvc"}
                       << QStringList{"Mi&nimize", "&Close\tAlt+F4", "&Drive mapping...",
                                      "&Find missing files in folder...", "&Undo last put back",
                                      "&Catalogue a disk...", "&Remember present media on each scan",
                                      "korvane version information(&A)..."}
                       << QStringList{"korvane version information", "(C) 2026 The korvane developers",
                                      "OK",
                                      "A list raises the file which the project file (*.dvc) of RexEdit (It copes "
                                      "with it to Ver2.9.) is referred to with and which isn't found."}
                       << QStringLiteral("completed\nsamples/wedding.dvc\n\n"
                                         "Drive D: has no mapping, so its files were not looked for.");
    QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan)
                           << QStringList{"実行", "手順1: dvc ファイルを選択", "...", "手順2:",
                                          "dvc で使われているファイル"}
                           << QStringList{"最小化(&N)", "閉じる(&C)\tAlt+F4", "ドライブの割り当て(&D)...",
                                          "フォルダーから見つからないファイルを探す(&F)...",
                                          "最後に戻したものを元に戻す(&U)", "ディスクをカタログに登録(&C)...",
                                          "スキャンのたびに見つかったメディアを記憶する(&R)",
                                          "korvane のバージョン情報(&A)..."}
                           << QStringList{"korvane のバージョン情報", "(C) 2026 The korvane developers",
                                          "OK",
                                          "RexEdit のプロジェクト ファイル (*.dvc) が参照しているファイルのうち、"
                                          "見つからないものを一覧にします (Ver2.9 まで対応)。"}
                           << QStringLiteral("完了しました\nsamples/wedding.dvc\n\n"
                                             "ドライブ D: には割り当てがないため、そのファイルは探していません。");
}

void TranslationTest::textsFollowTheLanguage()
{
    QFETCH(QLocale, locale);
    QFETCH(QStringList, mainTexts);
    QFETCH(QStringList, menuTexts);
    QFETCH(QStringList, aboutTexts);
    QFETCH(QString, closing);

    // A catalogue for Japanese (built into share/ next to bin/), none for C.
    QCOMPARE(ui::installTranslations(locale), locale.language() == QLocale::Japanese);
    openDialog();

    QStringList shown;
    for (QWidget* control : dlg->controls()) {
        if (qobject_cast<QLabel*>(control) || qobject_cast<QPushButton*>(control))
            shown << ui::windowText(control);
    }
    QCOMPARE(shown, mainTexts);

    QStringList menu;
    for (const ui::MenuEntry& entry : dlg->GetSystemMenu(false)->entries()) {
        if (!(entry.flags & ui::kMenuSeparator))
            menu << entry.text;
    }
    QCOMPARE(menu, menuTexts);

    {
        CAboutDlg about;
        QVERIFY(about.Create());
        const auto& controls = about.controls();
        QCOMPARE((QStringList{about.windowTitle(), ui::windowText(controls[2]), ui::windowText(controls[3]),
                              ui::windowText(controls[4])}),
                 aboutTexts);
        // Names and addresses stay as they are.
        QCOMPARE(ui::windowText(controls[5]), QStringLiteral("github.com/korvane/korvane"));
        QCOMPARE(ui::windowText(controls[6]), QStringLiteral("README.md"));
    }

    // The closing box: the dialog's own words and the core's sentence about the unmapped drive.
    typePath(QStringLiteral("samples/wedding.dvc"));
    clickProcess();
    QCOMPARE(modals.messages.size(), std::size_t(1));
    QCOMPARE(modals.messages.back().text, closing);
}

void TranslationTest::japaneseTextsFitTheirRectangles()
{
    QVERIFY(ui::installTranslations(QLocale(QLocale::Japanese, QLocale::Japan)));
    for (const int id : {IDD_MAIN, IDD_ABOUT}) {
        const ui::DialogTemplate* dialog = ui::programTemplates().findDialogTemplate(id);
        QVERIFY(dialog);
        const QFont font = ui::dialogFont(QString::fromUtf8(dialog->fontFace), dialog->pointSize);
        if (QFontInfo(font).family() != QLatin1String("IPAPGothic"))
            QSKIP("the IPAPGothic font (fonts-ipafont-gothic) is missing");
        const ui::DialogUnits units = ui::DialogUnits::fromFont(font);
        const QFontMetrics metrics(font);
        for (const ui::ControlTemplate& item : dialog->controls) {
            const QString text = ui::templateText(item.text);
            // Texts the catalogue leaves as they are ("...", "OK", names) were laid out with the template.
            if (text == QString::fromUtf8(item.text) ||
                (item.kind != ui::ControlKind::Label && item.kind != ui::ControlKind::PushButton))
                continue;
            const QRect rect = units.toPixels(item.rect);
            if (item.kind == ui::ControlKind::PushButton) {
                // Room for the text and a character's width of margin on each side.
                QVERIFY2(metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth() <= rect.width(),
                         qPrintable(text));
            } else if (item.style & ui::kWordWrap) {
                const QRect needed = metrics.boundingRect(QRect(0, 0, rect.width(), INT_MAX),
                                                          Qt::AlignLeft | Qt::TextWordWrap, text);
                QVERIFY2(needed.height() <= rect.height() && needed.width() <= rect.width(), qPrintable(text));
            } else {
                QVERIFY2(metrics.horizontalAdvance(text) < rect.width(), qPrintable(text));
            }
        }
    }
}

void TranslationTest::putBackAndUndoReasonsFollowTheLanguage_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QStringList>("reasons"); // of leftSteps(), then of keptReasons

    // In C exactly the core's English, which the journal and korvane-scan use.
    QStringList english;
    for (const RestoreStep& step : leftSteps())
        english << QString::fromStdString(describeLeft(step));
    for (const UndoItem& item : keptReasons)
        english << QString::fromStdString(item.why);
    QTest::newRow("C") << QLocale::c() << english;
    QTest::newRow("ja_JP") << QLocale(QLocale::Japanese, QLocale::Japan)
                           << QStringList{"見つかりません",
                                          "最も近いファイルは拡張子が違います (変換したファイルは元のファイルではありません)",
                                          "異なるファイルが 3 個見つかりました (1024、2048、4096 バイト)",
                                          "ドライブ D: には割り当てがありません",
                                          "共有 \\\\nas\\media には割り当てがありません",
                                          "戻す場所に今は別のものがあります: /media/v/Toast.avi",
                                          "not searched for: it names no file",
                                          "空ではありません",
                                          "もとのファイル /media/a.avi がありません: これが唯一のコピーです",
                                          "Permission denied"};
}

void TranslationTest::putBackAndUndoReasonsFollowTheLanguage()
{
    QFETCH(QLocale, locale);
    QFETCH(QStringList, reasons);
    ui::installTranslations(locale);
    QStringList shown;
    for (const RestoreStep& step : leftSteps())
        shown << ui::RestoreTexts::leftReason(step);
    for (const UndoItem& item : keptReasons)
        shown << ui::RestoreTexts::keptReason(item);
    QCOMPARE(shown, reasons);
}

QTEST_MAIN(TranslationTest)
#include "translation_test.moc"
