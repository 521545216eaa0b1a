#include "ui/find_missing_dlg.h"

#include "paths/drive_map.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <string>

namespace korvane::ui {

namespace {

constexpr int kSuggestionRole = Qt::UserRole;

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString fromBytes(std::string_view text)
{
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

QString count(std::size_t n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Whether the configuration file can take the mapping.
bool usableMapping(const MappingSuggestion& mapping)
{
    return canonicalRoot(mapping.storedPrefix).has_value();
}

QTreeWidget* makeList(const QString& name, const QStringList& headings, QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setHeaderLabels(headings);
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setTextElideMode(Qt::ElideMiddle);
    return list;
}

} // namespace

FindMissingDlg::FindMissingDlg(const QString& folder, const SearchResults& results, QWidget* parent)
    : QDialog(parent), results_(results)
{
    setWindowTitle(QStringLiteral("Find missing files"));
    setObjectName(QStringLiteral("findMissingDlg"));

    const std::size_t total = results.matches().size();
    auto* summary = new QLabel(QStringLiteral("Searched %1: found %2 of %3.")
                                   .arg(folder)
                                   .arg(results.foundCount())
                                   .arg(count(total, "missing file", "missing files")),
                               this);
    summary->setObjectName(QStringLiteral("summaryLabel"));
    summary->setWordWrap(true);

    auto* files = makeList(QStringLiteral("missingList"),
                           {QStringLiteral("Missing file"), QStringLiteral("Found in the folder as")}, this);
    for (const MissingMatch& match : results.matches()) {
        QString found;
        if (!match.path.notSearched.empty()) {
            found = QStringLiteral("not searched for: ") + fromUtf8(match.path.notSearched);
        } else if (!match.found()) {
            found = QStringLiteral("not found");
        } else {
            // Below the searched folder, where the differences are.
            const Candidate& best = match.candidates.front();
            std::string path = results.index().filePath(best.file);
            for (const std::string& root : results.index().roots()) {
                const std::string prefix = root.ends_with('/') ? root : root + '/';
                if (results.index().roots().size() == 1 && path.starts_with(prefix)) {
                    path.erase(0, prefix.size());
                    break;
                }
            }
            found = fromBytes(path);
            if (best.kind == MatchKind::OtherExtension)
                found += QStringLiteral(" (other extension)");
            if (match.candidateCount > 1)
                found += QStringLiteral(" (and %1 more)").arg(match.candidateCount - 1);
        }
        auto* item = new QTreeWidgetItem(files, {fromUtf8(match.file.decoded), found});
        item->setToolTip(0, item->text(0));
        item->setToolTip(1, match.found() ? fromBytes(results.index().filePath(match.candidates.front().file)) : found);
    }
    files->header()->setSectionResizeMode(QHeaderView::Stretch);

    auto* mappingsLabel = new QLabel(QStringLiteral("Suggested &mappings"), this);
    mappings_ = makeList(QStringLiteral("suggestionList"),
                         {QStringLiteral("Drive or share"), QStringLiteral("Folder"), QStringLiteral("Explains")}, this);
    mappingsLabel->setBuddy(mappings_);
    QTreeWidgetItem* firstUsable = nullptr;
    for (std::size_t k = 0; k < results.mappings().size(); ++k) {
        const MappingSuggestion& mapping = results.mappings()[k];
        QString explains = QStringLiteral("%1 of %2 on %3")
                               .arg(mapping.explains.size())
                               .arg(count(mapping.missingOnRoot, "missing file", "missing files"),
                                    fromUtf8(mapping.root));
        const bool usable = usableMapping(mapping);
        if (!usable)
            explains += QStringLiteral(" (a folder below it, which cannot be mapped)");
        auto* item = new QTreeWidgetItem(
            mappings_, {fromUtf8(mapping.storedPrefix), fromBytes(mapping.localFolder), explains});
        item->setData(0, kSuggestionRole, static_cast<qulonglong>(k));
        for (int column = 0; column < 3; ++column)
            item->setToolTip(column, item->text(column));
        if (usable && !firstUsable)
            firstUsable = item;
    }
    mappings_->header()->setStretchLastSection(false);
    mappings_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    mappings_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    mappings_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    if (results.mappings().empty()) {
        auto* none = new QTreeWidgetItem(
            mappings_, {QStringLiteral("None: no missing file of a drive or share was found under its own name.")});
        none->setFlags(Qt::NoItemFlags);
        none->setFirstColumnSpanned(true);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    use_ = buttons->addButton(QStringLiteral("&Use mapping"), QDialogButtonBox::AcceptRole);
    use_->setObjectName(QStringLiteral("useMappingButton"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(files, 3);
    layout->addWidget(mappingsLabel);
    layout->addWidget(mappings_, 2);
    layout->addWidget(buttons);

    connect(mappings_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const MappingSuggestion* mapping = selectedMapping();
        use_->setEnabled(mapping && usableMapping(*mapping));
    });
    connect(use_, &QPushButton::clicked, this, [this] {
        const MappingSuggestion* mapping = selectedMapping();
        if (!mapping || !usableMapping(*mapping))
            return;
        chosen_ = mapping;
        QDialog::accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &FindMissingDlg::reject);

    use_->setEnabled(false);
    if (firstUsable)
        mappings_->setCurrentItem(firstUsable);
    resize(680, 420);
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
