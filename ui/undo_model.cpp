#include "ui/undo_model.h"

#include "ui/restore_texts.h"
#include "ui/shown_name.h"

#include <utility>

namespace korvane::ui {

void UndoModel::setItems(std::shared_ptr<const UndoResult> result, bool done)
{
    beginResetModel();
    result_ = std::move(result);
    done_ = done;
    endResetModel();
}

int UndoModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !result_ ? 0 : static_cast<int>(result_->items.size());
}

int UndoModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant UndoModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return text(index.row(), index.column());
}

QVariant UndoModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case kWhatColumn: return tr("Undo");
    case kPathColumn: return tr("File or folder made");
    case kWhyColumn: return tr("Why kept");
    default: return {};
    }
}

QString UndoModel::text(int row, int column) const
{
    const UndoItem& item = result_->items[static_cast<std::size_t>(row)];
    switch (column) {
    case kWhatColumn:
        switch (item.action) {
        case UndoItem::Action::Remove: return done_ ? tr("removed") : tr("remove");
        case UndoItem::Action::Keep: return done_ ? tr("kept") : tr("keep");
        case UndoItem::Action::Gone: return tr("already gone");
        }
        return {};
    case kPathColumn: {
        // A folder ends in a slash, as it does in a file manager's path bar.
        QString path = oneLineName(fromBytes(item.path));
        return item.folder ? path + QLatin1Char('/') : path;
    }
    case kWhyColumn: return item.action == UndoItem::Action::Keep ? RestoreTexts::keptReason(item) : QString();
    default: return {};
    }
}

} // namespace korvane::ui
