// The program's resources: the dialog templates, the string table and the
// icon.

#include "ui/resources.h"

#include "ui/framework/dialog_units.h"
#include "ui/resource_ids.h"

#include <QCoreApplication>

namespace korvane::ui {

namespace {

// The dialogs' font; where it does not exist, dialogFont (dialog_units.h)
// picks the nearest one that does.
constexpr const char* kDialogFace = "ＭＳ Ｐゴシック";
constexpr int kDialogPoints = 9;

using enum ControlKind;

const DialogTemplate kMain{
    IDD_MAIN,
    QSize(167, 215),
    "korvane version1.02",
    kDialogFace,
    kDialogPoints,
    kMinimizeBox | kAppWindow,
    {
        // Template order is tab order; the first tab stop has the focus when the dialog opens.
        {PushButton, IDC_PROCESS, QT_TRANSLATE_NOOP("DialogTemplate", "Process"), QRect(4, 43, 38, 18), kTabStop},
        {Label, IDC_STATIC, QT_TRANSLATE_NOOP("DialogTemplate", "Step1: Select dvc file"), QRect(4, 4, 159, 8), kGroup},
        {PushButton, IDC_BROWSE, "...", QRect(152, 15, 11, 12), kTabStop},
        {Edit, IDC_DVC_PATH, "", QRect(4, 15, 144, 12), kBorder | kAutoHScroll | kTabStop},
        {Label, IDC_STATIC, QT_TRANSLATE_NOOP("DialogTemplate", "Step2:"), QRect(4, 33, 159, 8), kGroup},
        {Edit, IDC_FILE_LIST, "", QRect(4, 86, 159, 125),
         kMultiLine | kReadOnly | kBorder | kVScroll | kHScroll | kAutoVScroll | kAutoHScroll | kTabStop},
        {Progress, IDC_PROGRESS, "", QRect(45, 43, 118, 13), kBorder | kSmooth},
        {Edit, IDC_STATUS, "", QRect(45, 57, 118, 13), kReadOnly | kStaticEdge | kAutoHScroll | kTabStop},
        {Label, IDC_STATIC, QT_TRANSLATE_NOOP("DialogTemplate", "Files used in dvc"), QRect(4, 77, 159, 8), kGroup},
    },
};

const DialogTemplate kAbout{
    IDD_ABOUT,
    QSize(235, 131),
    QT_TRANSLATE_NOOP("DialogTemplate", "korvane version information"),
    kDialogFace,
    kDialogPoints,
    0,
    {
        {Icon, IDC_STATIC, "", QRect(17, 31, 20, 20), 0, IDR_MAINFRAME},
        {Label, IDC_STATIC, "korvane Version 1.02", QRect(86, 83, 60, 8), kNoPrefix | kGroup},
        // The licence is named by --version, the package and the README.
        {Label, IDC_STATIC, QT_TRANSLATE_NOOP("DialogTemplate", "(C) 2026 The korvane developers"),
         QRect(86, 93, 119, 8), kGroup},
        {PushButton, IDOK, QT_TRANSLATE_NOOP("DialogTemplate", "OK"), QRect(178, 7, 50, 14),
         kDefaultButton | kTabStop | kGroup},
        {Label, IDC_STATIC,
         QT_TRANSLATE_NOOP("DialogTemplate",
                           "A list raises the file which the project file (*.dvc) of RexEdit (It copes with it to "
                           "Ver2.9.) is referred to with and which isn't found."),
         QRect(43, 30, 166, 29), kWordWrap | kGroup},
        // The project's home: its repository, whose README says the rest.
        {Label, IDC_STATIC, "github.com/korvane/korvane", QRect(86, 104, 92, 8), kNoPrefix | kGroup},
        {Label, IDC_STATIC, "README.md", QRect(86, 114, 52, 8), kNoPrefix | kGroup},
    },
};

class ProgramTemplates : public TemplateTable {
public:
    const DialogTemplate* findDialogTemplate(int id) const override
    {
        switch (id) {
        case IDD_MAIN: return &kMain;
        case IDD_ABOUT: return &kAbout;
        default: return nullptr;
        }
    }
    QIcon loadIcon(int id) const override { return ui::loadIcon(id); }
};

} // namespace

QFont programFont()
{
    return dialogFont(QString::fromUtf8(kDialogFace), kDialogPoints);
}

const TemplateTable& programTemplates()
{
    static const ProgramTemplates templates;
    return templates;
}

QString loadString(int id)
{
    switch (id) {
    case IDS_ABOUT: return QCoreApplication::translate("StringTable", "korvane version information(&A)...");
    case IDS_DRIVEMAPPING: return QCoreApplication::translate("StringTable", "&Drive mapping...");
    case IDS_FINDMISSING: return QCoreApplication::translate("StringTable", "&Find missing files in folder...");
    case IDS_CATALOGUE: return QCoreApplication::translate("StringTable", "&Catalogue a disk...");
    case IDS_REMEMBER: return QCoreApplication::translate("StringTable", "&Remember present media on each scan");
    default: return {};
    }
}

QIcon loadIcon(int id)
{
    QIcon icon;
    if (id == IDR_MAINFRAME) {
        icon.addFile(QStringLiteral(":/icons/korvane-32.xpm"), QSize(32, 32));
        icon.addFile(QStringLiteral(":/icons/korvane-16.xpm"), QSize(16, 16));
    }
    return icon;
}

} // namespace korvane::ui
