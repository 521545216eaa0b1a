#include "ui/find_missing_dlg.h"

#include "paths/config_file.h"
#include "paths/drive_map.h"
#include "restore/restore_plan.h"
#include "ui/framework/modals.h"
#include "ui/put_back_dlg.h"
#include "ui/shown_name.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <string>

namespace korvane::ui {

namespace {

constexpr int kSuggestionRole = Qt::UserRole;

// `one` and `many` are marked with QT_TRANSLATE_NOOP.
QString count(std::size_t n, const char* one, const char* many)
{
    //: A number and what it counts: "3 missing files".
    return FindMissingDlg::tr("%1 %2").arg(n).arg(FindMissingDlg::tr(n == 1 ? one : many));
}

constexpr const char* kMissingFile = QT_TRANSLATE_NOOP("FindMissingDlg", "missing file");
constexpr const char* kMissingFiles = QT_TRANSLATE_NOOP("FindMissingDlg", "missing files");

// Why the configuration file cannot take the mapping; empty when it can.
std::string unusableBecause(const MappingSuggestion& mapping)
{
    return unwritableMapping(mapping.storedPrefix, mapping.localFolder);
}

bool usableMapping(const MappingSuggestion& mapping)
{
    return unusableBecause(mapping).empty();
}

QTreeWidget* makeList(const QString& name, const QStringList& headings, QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setHeaderLabels(headings);
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setTextElideMode(Qt::ElideMiddle);
    list->setUniformRowHeights(true);
    return list;
}

// What the search found for `match`: its best candidate, below the searched
// folder where only one was searched, since that is where the differences
// are.
QString foundText(const MissingMatch& match, const FileIndex& index)
{
    if (!match.path.notSearched.empty())
        return FindMissingDlg::tr("not searched for: ") + fromUtf8(match.path.notSearched);
    if (!match.found())
        return FindMissingDlg::tr("not found");
    const Candidate& best = match.candidates.front();
    std::string path = index.filePath(best.file);
    if (index.roots().size() == 1) {
        const std::string& root = index.roots().front();
        const std::string prefix = root.ends_with('/') ? root : root + '/';
        if (path.starts_with(prefix))
            path.erase(0, prefix.size());
    }
    QString found = fromBytes(path);
    if (best.kind == MatchKind::OtherExtension)
        found += FindMissingDlg::tr(" (other extension)");
    if (match.candidateCount > 1)
        found += FindMissingDlg::tr(" (and %1 more)").arg(match.candidateCount - 1);
    return found;
}

// Each missing file and what the search found for it.
QTreeWidget* makeFileList(const SearchResults& results, QWidget* parent)
{
    auto* files = makeList(QStringLiteral("missingList"),
                           {FindMissingDlg::tr("Missing file"), FindMissingDlg::tr("Found in the folder as")}, parent);
    for (const MissingMatch& match : results.matches()) {
        const QString found = foundText(match, results.index());
        auto* item = new QTreeWidgetItem(files, {oneLineName(fromUtf8(match.file.decoded)), oneLineName(found)});
        item->setToolTip(0, item->text(0));
        item->setToolTip(1, match.found() ? oneLineName(fromBytes(results.index().filePath(match.candidates.front().file)))
                                          : item->text(1));
    }
    files->header()->setSectionResizeMode(QHeaderView::Stretch);
    return files;
}

QString explainsText(const MappingSuggestion& mapping)
{
    QString explains =
        FindMissingDlg::tr("%1 of %2 on %3")
            .arg(mapping.explains.size())
            .arg(count(mapping.missingOnRoot, kMissingFile, kMissingFiles), fromUtf8(mapping.root));
    if (!usableMapping(mapping))
        explains += FindMissingDlg::tr(" (a folder name that cannot be mapped)");
    return explains;
}

} // namespace

FindMissingDlg::FindMissingDlg(const QString& folder, const SearchResults& results, QWidget* parent,
                               PathResolver* resolver)
    : QDialog(parent), results_(results), resolver_(resolver)
{
    setWindowTitle(tr("Find missing files"));
    setObjectName(QStringLiteral("findMissingDlg"));

    auto* summary = new QLabel(tr("Searched %1: found %2 of %3.")
                                   .arg(folder)
                                   .arg(results.foundCount())
                                   .arg(count(results.matches().size(), kMissingFile, kMissingFiles)),
                               this);
    summary->setObjectName(QStringLiteral("summaryLabel"));
    summary->setWordWrap(true);

    QTreeWidget* files = makeFileList(results, this);
    auto* mappingsLabel = new QLabel(tr("Suggested &mappings"), this);
    QTreeWidgetItem* firstUsable = makeMappingList();
    mappingsLabel->setBuddy(mappings_);

    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("mappingPreview"));
    preview_->setWordWrap(true);
    preview_->setTextFormat(Qt::PlainText);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    use_ = buttons->addButton(tr("&Use mapping"), QDialogButtonBox::AcceptRole);
    use_->setObjectName(QStringLiteral("useMappingButton"));
    putBack_ = buttons->addButton(QCoreApplication::translate("korvane::ui::PutBackDlg", "&Put back..."),
                                  QDialogButtonBox::ActionRole);
    putBack_->setObjectName(QStringLiteral("putBackDialogButton"));
    // Only what the search found can be put back.
    putBack_->setEnabled(resolver_ && results.foundCount() > 0);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(files, 3);
    layout->addWidget(mappingsLabel);
    layout->addWidget(mappings_, 2);
    layout->addWidget(preview_);
    layout->addWidget(buttons);

    connectButtons(buttons);
    use_->setEnabled(false);
    if (firstUsable)
        mappings_->setCurrentItem(firstUsable);
    resize(680, 420);
}

QTreeWidgetItem* FindMissingDlg::makeMappingList()
{
    mappings_ = makeList(QStringLiteral("suggestionList"),
                         {tr("Drive or share"), tr("Folder"), tr("Explains")}, this);
    QTreeWidgetItem* firstUsable = nullptr;
    for (std::size_t k = 0; k < results_.mappings().size(); ++k) {
        const MappingSuggestion& mapping = results_.mappings()[k];
        auto* item = new QTreeWidgetItem(
            mappings_, {oneLineName(fromUtf8(mapping.storedPrefix)), oneLineName(fromBytes(mapping.localFolder)),
                        explainsText(mapping)});
        item->setData(0, kSuggestionRole, static_cast<qulonglong>(k));
        for (int column = 0; column < 3; ++column)
            item->setToolTip(column, item->text(column));
        if (usableMapping(mapping) && !firstUsable)
            firstUsable = item;
    }
    mappings_->header()->setStretchLastSection(false);
    mappings_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    mappings_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    mappings_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    if (results_.mappings().empty()) {
        auto* none = new QTreeWidgetItem(
            mappings_, {tr("None: no missing file of a drive or share was found under its own name.")});
        none->setFlags(Qt::NoItemFlags);
        none->setFirstColumnSpanned(true);
    }
    return firstUsable;
}

void FindMissingDlg::connectButtons(const QDialogButtonBox* buttons)
{
    connect(mappings_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const MappingSuggestion* mapping = selectedMapping();
        use_->setEnabled(mapping && usableMapping(*mapping));
        showPreview();
    });
    connect(use_, &QPushButton::clicked, this, [this] {
        const MappingSuggestion* mapping = selectedMapping();
        if (!mapping || !usableMapping(*mapping))
            return;
        chosen_ = mapping;
        QDialog::accept();
    });
    connect(putBack_, &QPushButton::clicked, this, &FindMissingDlg::putBack);
    connect(buttons, &QDialogButtonBox::rejected, this, &FindMissingDlg::reject);
}

void FindMissingDlg::putBack()
{
    if (!resolver_)
        return;
    // Telling identical candidates apart reads them whole: not on the GUI thread.
    RestorePlan plan;
    runAside([&] { plan = makeRestorePlan(results_, *resolver_); });
    PutBackDlg dialog(plan, this);
    if (modals().execDialog(dialog) != QDialog::Accepted || !dialog.applied() || dialog.applied()->journal.empty())
        return;
    putBackJournal_ = dialog.applied()->journal;
    QDialog::accept();
}

void FindMissingDlg::showPreview()
{
    constexpr std::size_t kNamed = 3;
    const MappingSuggestion* mapping = selectedMapping();
    if (!mapping) {
        preview_->clear();
        return;
    }
    if (const std::string why = unusableBecause(*mapping); !why.empty()) {
        preview_->setText(tr("Use mapping cannot save this mapping: %1.").arg(fromUtf8(why)));
        return;
    }
    QStringList named;
    for (std::size_t k = 0; k < mapping->explains.size() && k < kNamed; ++k)
        named << oneLineName(fromUtf8(results_.matches()[mapping->explains[k]].file.decoded), 300);
    const QString finds = count(mapping->explains.size(), kMissingFile, kMissingFiles);
    QString text = tr("Use mapping adds \"%1\" to the configuration file. It finds %2: %3")
                       .arg(fromUtf8(configLine(*mapping)), finds, named.join(QStringLiteral(", ")));
    if (mapping->explains.size() > kNamed)
        text += tr(" and %1 more").arg(mapping->explains.size() - kNamed);
    preview_->setText(text + tr("."));
}

const MappingSuggestion* FindMissingDlg::selectedMapping() const
{
    const QTreeWidgetItem* item = mappings_->currentItem();
    if (!item || !item->isSelected() || !item->data(0, kSuggestionRole).isValid())
        return nullptr;
    const auto index = static_cast<std::size_t>(item->data(0, kSuggestionRole).toULongLong());
    return index < results_.mappings().size() ? &results_.mappings()[index] : nullptr;
}

} // namespace korvane::ui
