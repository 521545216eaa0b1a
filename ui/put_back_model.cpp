#include "ui/put_back_model.h"

#include "ui/restore_texts.h"
#include "ui/shown_name.h"

#include <utility>

namespace korvane::ui {

namespace {

// Long enough for any real path, short enough for a tooltip.
constexpr qsizetype kMaxShownChars = 1024;

QString path(const std::string& bytes)
{
    return oneLineName(fromBytes(bytes), kMaxShownChars);
}

} // namespace

void PutBackModel::setPlan(std::shared_ptr<const RestorePlan> plan)
{
    beginResetModel();
    plan_ = std::move(plan);
    outcome_ = nullptr;
    endResetModel();
}

void PutBackModel::setOutcome(const ApplyResult* result)
{
    outcome_ = result;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
}

void PutBackModel::stepChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

int PutBackModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !plan_ ? 0 : static_cast<int>(plan_->steps.size());
}

int PutBackModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant PutBackModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return text(index.row(), index.column());
}

QVariant PutBackModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case kFileColumn: return tr("Missing file");
    case kWhatColumn: return tr("Plan");
    case kFromColumn: return tr("From, or why left");
    case kToColumn: return tr("To");
    default: return {};
    }
}

QStringList PutBackModel::whatWords()
{
    return {tr("Plan"), tr("put back"), tr("left"), tr("linked"), tr("copied"), tr("failed")};
}

QString PutBackModel::text(int row, int column) const
{
    const RestoreStep& step = plan_->steps[static_cast<std::size_t>(row)];
    switch (column) {
    case kFileColumn: return oneLineName(fromUtf8(step.decoded), kMaxShownChars);
    case kWhatColumn: return what(row);
    case kFromColumn: return fromOrWhy(row);
    case kToColumn: return showsPlace(row) ? path(step.destination) : QString();
    default: return {};
    }
}

bool PutBackModel::showsPlace(int row) const
{
    if (!plan_->steps[static_cast<std::size_t>(row)].putBack)
        return false;
    if (!outcome_ || static_cast<std::size_t>(row) >= outcome_->steps.size())
        return true;
    const StepOutcome outcome = outcome_->steps[static_cast<std::size_t>(row)].outcome;
    return outcome == StepOutcome::Linked || outcome == StepOutcome::Copied;
}

QString PutBackModel::what(int row) const
{
    const RestoreStep& step = plan_->steps[static_cast<std::size_t>(row)];
    if (!outcome_ || static_cast<std::size_t>(row) >= outcome_->steps.size())
        return step.putBack ? tr("put back") : tr("left");
    switch (outcome_->steps[static_cast<std::size_t>(row)].outcome) {
    case StepOutcome::Linked: return tr("linked");
    case StepOutcome::Copied: return tr("copied");
    case StepOutcome::Failed: return tr("failed");
    default: return tr("left");
    }
}

QString PutBackModel::fromOrWhy(int row) const
{
    const RestoreStep& step = plan_->steps[static_cast<std::size_t>(row)];
    if (!step.putBack)
        return RestoreTexts::leftReason(step);
    if (!outcome_ || static_cast<std::size_t>(row) >= outcome_->steps.size())
        return path(step.source);
    const StepResult& result = outcome_->steps[static_cast<std::size_t>(row)];
    switch (result.outcome) {
    case StepOutcome::Appeared:
        return tr("%1 appeared meanwhile; nothing was replaced").arg(path(step.destination));
    case StepOutcome::Failed:
        return oneLineName(fromUtf8(result.error), kMaxShownChars);
    case StepOutcome::Stopped:
        return tr("stopped before it was put back");
    default:
        return path(step.source);
    }
}

} // namespace korvane::ui
