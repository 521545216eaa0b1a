#include "ui/drive_mapping_dlg.h"

#include "ui/framework/modals.h"
#include "ui/shown_name.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>
#include <string>

namespace korvane::ui {

namespace {

constexpr int kRootRole = Qt::UserRole;
constexpr int kFromFileRole = Qt::UserRole + 1;

QString caption()
{
    return DriveMappingDlg::tr("Drive mapping");
}

// Where a mapping comes from, in the dialog's language.
QString sourceText(MappingSource source)
{
    // The core's words (describe()), marked here for the catalogue.
    [[maybe_unused]] static constexpr const char* kWords[] = {
        QT_TRANSLATE_NOOP("DriveMappingDlg", "--map"),
        QT_TRANSLATE_NOOP("DriveMappingDlg", "configuration file"),
        QT_TRANSLATE_NOOP("DriveMappingDlg", "Wine prefix"),
        QT_TRANSLATE_NOOP("DriveMappingDlg", "WSL"),
    };
    const std::string english(describe(source));
    return DriveMappingDlg::tr(english.c_str());
}

} // namespace

DriveMappingDlg::DriveMappingDlg(const MappingSources& sources, QWidget* parent)
    : QDialog(parent), file_(sources.configFile)
{
    setWindowTitle(caption());
    setObjectName(QStringLiteral("driveMappingDlg"));

    const std::string error = load(sources);

    auto* intro = new QLabel(tr("Drives and shares of the editor's system, and the folders that stand "
                                "for them here. Their files are looked for in these folders."),
                             this);
    intro->setWordWrap(true);

    makeList();
    QHBoxLayout* editRow = makeEditRow();
    auto* whereLabel = new QLabel(whereText(error), this);
    whereLabel->setObjectName(QStringLiteral("whereLabel"));
    whereLabel->setWordWrap(true);
    whereLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setEnabled(readable_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(list_, 1);
    layout->addLayout(editRow);
    layout->addWidget(whereLabel);
    layout->addWidget(buttons);

    connectControls(buttons);
    refill();
    resize(560, 320);
}

std::string DriveMappingDlg::load(const MappingSources& sources)
{
    std::string error;
    if (!file_.empty())
        config_ = ConfigFile::load(file_, &error);
    readable_ = !file_.empty() && error.empty();
    for (const std::vector<DriveMapping>& found : {wineMappings(sources.winePrefix), wslMappings(sources.wslRoot)})
        automatic_.insert(automatic_.end(), found.begin(), found.end());
    return error;
}

void DriveMappingDlg::makeList()
{
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("mappingList"));
    list_->setHeaderLabels({tr("Drive or share"), tr("Folder"), tr("From")});
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
}

QHBoxLayout* DriveMappingDlg::makeEditRow()
{
    root_ = new QComboBox(this);
    root_->setObjectName(QStringLiteral("rootBox"));
    root_->setEditable(true);
    for (char letter = 'C'; letter <= 'Z'; ++letter)
        root_->addItem(QString(QLatin1Char(letter)) + QLatin1Char(':'));
    root_->setToolTip(tr("A drive such as D:, a share such as \\\\server\\share, or a folder on one "
                         "such as D:\\Video"));
    root_->setMinimumContentsLength(16);
    auto* rootLabel = new QLabel(tr("Drive or &share:"), this);
    rootLabel->setBuddy(root_);

    add_ = new QPushButton(tr("&Add..."), this);
    add_->setObjectName(QStringLiteral("addButton"));
    add_->setAutoDefault(false);
    remove_ = new QPushButton(tr("&Remove"), this);
    remove_->setObjectName(QStringLiteral("removeButton"));
    remove_->setAutoDefault(false);

    auto* editRow = new QHBoxLayout;
    editRow->addWidget(rootLabel);
    editRow->addWidget(root_, 1);
    editRow->addWidget(add_);
    editRow->addWidget(remove_);
    return editRow;
}

QString DriveMappingDlg::whereText(const std::string& error) const
{
    if (file_.empty())
        return tr("There is no folder for settings: set HOME or XDG_CONFIG_HOME.");
    if (!readable_)
        return tr("The settings cannot be read, so they are not saved: %1").arg(fromBytes(error));
    return tr("Saved in %1").arg(QDir::toNativeSeparators(fromBytes(file_.string())));
}

void DriveMappingDlg::connectControls(const QDialogButtonBox* buttons)
{
    connect(add_, &QPushButton::clicked, this, &DriveMappingDlg::add);
    connect(remove_, &QPushButton::clicked, this, &DriveMappingDlg::removeSelected);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (const QTreeWidgetItem* item = list_->currentItem())
            root_->setEditText(item->data(0, kRootRole).toString());
        updateButtons();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &DriveMappingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DriveMappingDlg::reject);
}

std::vector<DriveMapping> DriveMappingDlg::mappings() const
{
    DriveMap map;
    map.add(config_.mappings());
    map.add(automatic_);
    return map.all();
}

void DriveMappingDlg::refill(const QString& selectRoot)
{
    list_->clear();
    for (const DriveMapping& mapping : mappings()) {
        const QString root = fromBytes(mapping.root);
        auto* item = new QTreeWidgetItem(list_, {root, fromBytes(mapping.folder), sourceText(mapping.source)});
        const bool fromFile = mapping.source == MappingSource::ConfigFile;
        item->setData(0, kRootRole, root);
        item->setData(0, kFromFileRole, fromFile);
        if (!fromFile) {
            // Shown for information: only the file's mappings can be removed.
            for (int column = 0; column < 3; ++column)
                item->setForeground(column, palette().brush(QPalette::Disabled, QPalette::Text));
        }
        if (root == selectRoot)
            list_->setCurrentItem(item);
    }
    updateButtons();
}

void DriveMappingDlg::updateButtons()
{
    const QTreeWidgetItem* item = list_->currentItem();
    remove_->setEnabled(readable_ && item && item->data(0, kFromFileRole).toBool());
    add_->setEnabled(readable_);
}

void DriveMappingDlg::add()
{
    const QString typed = root_->currentText().trimmed();
    const std::optional<std::string> root = canonicalRoot(QFile::encodeName(typed).toStdString());
    if (!root) {
        modals().messageBox(this, fromBytes(notARoot(QFile::encodeName(typed).toStdString())), caption(),
                            MessageIcon::Exclamation);
        return;
    }
    QString start = QDir::homePath();
    for (const DriveMapping& mapping : mappings()) {
        if (rootKey(mapping.root) == rootKey(*root)) {
            start = fromBytes(mapping.folder);
            break;
        }
    }
    const QString shownRoot = fromBytes(*root);
    const std::optional<QString> folder =
        modals().existingDirectory(this, tr("Folder for %1").arg(shownRoot), start);
    if (!folder)
        return;
    if (!config_.setMapping(*root, QFile::encodeName(QDir::fromNativeSeparators(*folder)).toStdString())) {
        modals().messageBox(this, tr("%1 cannot be mapped to %2.").arg(shownRoot, *folder), caption(),
                            MessageIcon::Exclamation);
        return;
    }
    refill(shownRoot);
}

void DriveMappingDlg::removeSelected()
{
    const QTreeWidgetItem* item = list_->currentItem();
    if (!item || !item->data(0, kFromFileRole).toBool())
        return;
    config_.removeMapping(QFile::encodeName(item->data(0, kRootRole).toString()).toStdString());
    refill();
}

void DriveMappingDlg::accept()
{
    std::string error;
    if (!readable_ || !config_.save(file_, &error)) {
        modals().messageBox(this, tr("The drive mapping could not be saved. %1").arg(fromBytes(error)),
                            caption(), MessageIcon::Exclamation);
        return;
    }
    QDialog::accept();
}

} // namespace korvane::ui
