#include "ui/find_missing_dlg.h"

#include "paths/config_file.h"
#include "paths/drive_map.h"
#include "ui/framework/modals.h"
#include "ui/put_back_dlg.h"
#include "ui/shown_name.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <string>
#include <utility>

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

// "on disk "WD_2024_B" (not connected), at Footage/C0001.MP4, last seen on 2024-06-15"
QString sightingText(const ElsewhereSighting& sighting)
{
    const QString day = QDateTime::fromSecsSinceEpoch(sighting.lastSeen).date().toString(Qt::ISODate);
    return FindMissingDlg::tr("on disk \"%1\" (not connected), at %2, last seen on %3")
        .arg(oneLineName(fromBytes(sighting.label), 200), oneLineName(fromBytes(sighting.path)), day);
}

// Where the catalogue last saw a file the folder does not hold: the disk to
// plug in, or that the files it saw are different and none is chosen.
QString elsewhereText(const CatalogueAnswer& answer)
{
    if (answer.ambiguous)
        return FindMissingDlg::tr("on disks not connected: %1 different files that nothing tells apart; none is "
                                  "chosen")
            .arg(answer.notConnected.size());
    // The disk and the path first: the date is in the tooltip.
    const ElsewhereSighting& best = answer.notConnected.front();
    QString text = FindMissingDlg::tr("on \"%1\" (not connected): %2")
                       .arg(oneLineName(fromBytes(best.label), 200), oneLineName(fromBytes(best.path)));
    if (answer.notConnected.size() > 1)
        text += FindMissingDlg::tr(" (and %1 more)").arg(answer.notConnected.size() - 1);
    return text;
}

// What the catalogue says of the missing files the folder does not hold:
// which disks not connected to plug in, and why it was not consulted.
QString elsewhereSummary(const SearchResults& found, const CatalogueAnswers* elsewhere)
{
    if (!elsewhere)
        return {};
    QString text;
    if (!elsewhere->warning.empty())
        text += QLatin1Char(' ') + oneLineName(fromUtf8(elsewhere->warning)) + FindMissingDlg::tr(".");
    QStringList disks;
    std::size_t files = 0;
    for (const CatalogueAnswer& answer : elsewhere->answers) {
        const MissingMatch* match = found.find(answer.stored);
        if ((match && match->found()) || answer.ambiguous || answer.notConnected.empty())
            continue;
        ++files;
        const QString disk =
            QLatin1Char('"') + oneLineName(fromBytes(answer.notConnected.front().label), 200) + QLatin1Char('"');
        if (!disks.contains(disk))
            disks << disk;
    }
    if (files > 0)
        text += QLatin1Char(' ') + FindMissingDlg::tr("On disks not connected: %1, on %2.")
                                       .arg(count(files, kMissingFile, kMissingFiles), disks.join(QStringLiteral(", ")));
    return text;
}

// Each missing file and what the search found for it, made when a row is
// drawn: a search may have looked for hundreds of thousands.
class FoundModel : public QAbstractTableModel {
public:
    FoundModel(std::shared_ptr<const SearchResults> results, std::shared_ptr<const CatalogueAnswers> elsewhere,
               QObject* parent)
        : QAbstractTableModel(parent), results_(std::move(results)), elsewhere_(std::move(elsewhere))
    {
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(results_->matches().size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return {};
        const MissingMatch& match = results_->matches()[static_cast<std::size_t>(index.row())];
        if (index.column() == 0)
            return oneLineName(fromUtf8(match.file.decoded));
        // Not in the folder: where the catalogue last saw it, if anywhere.
        const CatalogueAnswer* answer = elsewhere_ && !match.found() ? elsewhere_->find(match.file.stored) : nullptr;
        if (answer && !answer->notConnected.empty()) {
            if (role == Qt::DisplayRole)
                return elsewhereText(*answer);
            QStringList places;
            for (const ElsewhereSighting& sighting : answer->notConnected)
                places << sightingText(sighting);
            return places.join(QLatin1Char('\n'));
        }
        // The tooltip names the best candidate's whole path.
        if (role == Qt::ToolTipRole && match.found())
            return oneLineName(fromBytes(results_->index().filePath(match.candidates.front().file)));
        return oneLineName(foundText(match, results_->index()));
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return section == 0 ? FindMissingDlg::tr("Missing file") : FindMissingDlg::tr("Found in the folder as");
    }

private:
    std::shared_ptr<const SearchResults> results_;
    std::shared_ptr<const CatalogueAnswers> elsewhere_;
};

QTreeView* makeFileList(const std::shared_ptr<const SearchResults>& results,
                        const std::shared_ptr<const CatalogueAnswers>& elsewhere, QWidget* parent)
{
    auto* files = new QTreeView(parent);
    files->setObjectName(QStringLiteral("missingList"));
    files->setModel(new FoundModel(results, elsewhere, files));
    files->setRootIsDecorated(false);
    files->setAllColumnsShowFocus(true);
    files->setTextElideMode(Qt::ElideMiddle);
    files->setUniformRowHeights(true);
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

FindMissingDlg::FindMissingDlg(const QString& folder, std::shared_ptr<const SearchResults> results,
                               std::shared_ptr<const CatalogueAnswers> elsewhere, PlanSettings settings,
                               QWidget* parent)
    : QDialog(parent), results_(std::move(results)), elsewhere_(std::move(elsewhere)), settings_(std::move(settings))
{
    const SearchResults& found = *results_;
    setWindowTitle(tr("Find missing files"));
    setObjectName(QStringLiteral("findMissingDlg"));

    auto* summary = new QLabel(tr("Searched %1: found %2 of %3.")
                                   .arg(folder)
                                   .arg(found.foundCount())
                                   .arg(count(found.matches().size(), kMissingFile, kMissingFiles)) +
                                   elsewhereSummary(found, elsewhere_.get()),
                               this);
    summary->setObjectName(QStringLiteral("summaryLabel"));
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);

    QTreeView* files = makeFileList(results_, elsewhere_, this);
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
    putBack_->setEnabled(found.foundCount() > 0);

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
    for (std::size_t k = 0; k < results_->mappings().size(); ++k) {
        const MappingSuggestion& mapping = results_->mappings()[k];
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
    if (results_->mappings().empty()) {
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
    connect(use_, &QPushButton::clicked, this, &FindMissingDlg::useMapping);
    connect(putBack_, &QPushButton::clicked, this, &FindMissingDlg::putBack);
    connect(buttons, &QDialogButtonBox::rejected, this, &FindMissingDlg::reject);
}

void FindMissingDlg::putBack()
{
    PutBackDlg dialog(results_, settings_, this);
    if (modals().execDialog(dialog) != QDialog::Accepted || !dialog.applied() || dialog.applied()->journal.empty())
        return;
    putBackJournal_ = dialog.applied()->journal;
    QDialog::accept();
}

void FindMissingDlg::useMapping()
{
    const MappingSuggestion* mapping = selectedMapping();
    if (!mapping || !usableMapping(*mapping))
        return;
    const std::filesystem::path& file = settings_.sources.configFile;
    std::string error;
    ConfigFile config = file.empty() ? ConfigFile() : ConfigFile::load(file, &error);
    // A file that could not be read whole is never written over.
    if (file.empty() || !error.empty() || !config.setMapping(mapping->storedPrefix, mapping->localFolder, &error) ||
        !config.save(file, &error)) {
        modals().messageBox(this,
                            QCoreApplication::translate("CScanDlg", "The drive mapping could not be saved. %1")
                                .arg(fromUtf8(error)),
                            QStringLiteral("korvane"), MessageIcon::Exclamation);
        return;
    }
    chosen_ = mapping;
    saved_ = true;
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
        named << oneLineName(fromUtf8(results_->matches()[mapping->explains[k]].file.decoded), 300);
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
    return index < results_->mappings().size() ? &results_->mappings()[index] : nullptr;
}

} // namespace korvane::ui
