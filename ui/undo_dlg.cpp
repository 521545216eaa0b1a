#include "ui/undo_dlg.h"

#include "ui/restore_texts.h"
#include "ui/shown_name.h"
#include "ui/undo_model.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace korvane::ui {

namespace {

QString entries(std::size_t n)
{
    return n == 1 ? UndoDlg::tr("1 file or folder") : UndoDlg::tr("%1 files and folders").arg(n);
}

// How many files and folders `result` removes (or would), keeps and finds gone.
struct Counts {
    std::size_t files = 0, folders = 0, kept = 0, gone = 0;
};

Counts countsOf(const UndoResult& result)
{
    Counts counts;
    for (const UndoItem& item : result.items) {
        if (item.action == UndoItem::Action::Remove)
            ++(item.folder ? counts.folders : counts.files);
        else if (item.action == UndoItem::Action::Keep)
            ++counts.kept;
        else
            ++counts.gone;
    }
    return counts;
}

} // namespace

UndoDlg::UndoDlg(std::string journal, QWidget* parent) : QDialog(parent), journal_(std::move(journal))
{
    setWindowTitle(tr("Undo last put back"));
    setObjectName(QStringLiteral("undoDlg"));

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("undoSummary"));
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText);
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    summary_->setMinimumWidth(1);

    model_ = new UndoModel(this);
    list_ = new QTreeView(this);
    list_->setObjectName(QStringLiteral("undoList"));
    list_->setModel(model_);
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setUniformRowHeights(true);
    list_->setTextElideMode(Qt::ElideMiddle);
    // The paths take the room; the reasons, which only kept entries have,
    // as much as they need, measured when the list is filled (twice).
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(UndoModel::kWhatColumn, QHeaderView::Fixed);
    list_->header()->setSectionResizeMode(UndoModel::kPathColumn, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(UndoModel::kWhyColumn, QHeaderView::ResizeToContents);
    int widest = 0;
    for (const QString& word : {tr("Undo"), tr("remove"), tr("removed"), tr("keep"), tr("kept"), tr("already gone")})
        widest = std::max(widest, list_->fontMetrics().horizontalAdvance(word));
    list_->header()->resizeSection(UndoModel::kWhatColumn, widest + 3 * list_->fontMetrics().averageCharWidth());

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("undoProgress"));
    progress_->setRange(0, 0);

    auto* buttons = new QDialogButtonBox(this);
    remove_ = buttons->addButton(tr("&Remove"), QDialogButtonBox::ActionRole);
    remove_->setObjectName(QStringLiteral("removeButton"));
    remove_->setEnabled(false);
    remove_->setAutoDefault(false);
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    // Enter does not remove: it takes a click or Alt+R.
    cancel_->setDefault(true);
    connect(remove_, &QPushButton::clicked, this, [this] { startUndo(); });
    connect(cancel_, &QPushButton::clicked, this, &UndoDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(list_, 1);
    layout->addWidget(progress_);
    layout->addWidget(buttons);
    resize(760, 400);
    startCheck();
}

UndoDlg::~UndoDlg()
{
    // Undo changes the disk: it is stopped and waited for, never left running.
    undoTask_.stopAndWait();
}

void UndoDlg::startCheck()
{
    summary_->setText(tr("Checking what undo would remove: each copy is read whole..."));
    auto result = std::make_shared<UndoResult>();
    checkTask_.start(
        [journal = journal_, result](std::stop_token stop) {
            *result = previewUndo(journal, stop);
        },
        [this, result] { showPreview(result); });
}

void UndoDlg::showPreview(std::shared_ptr<const UndoResult> preview)
{
    preview_ = std::move(preview);
    progress_->setVisible(false);
    model_->setItems(preview_, false);
    if (!preview_->read) {
        summary_->setText(tr("The journal could not be read: %1.").arg(oneLineName(fromUtf8(preview_->error))));
        cancel_->setText(tr("Close"));
        return;
    }
    const Counts counts = countsOf(*preview_);
    QString text = counts.files + counts.folders == 0
                       ? tr("Nothing of the last put back can be removed.")
                       : tr("Undo would remove %1 and %2 that the last put back made.")
                             .arg(RestoreTexts::files(counts.files), RestoreTexts::folders(counts.folders));
    if (counts.kept > 0)
        text += QLatin1Char(' ') + tr("It would keep %1, as the list says.").arg(entries(counts.kept));
    if (counts.gone > 0)
        text += QLatin1Char(' ') + tr("Already gone: %1.").arg(entries(counts.gone));
    summary_->setText(text);
    remove_->setEnabled(counts.files + counts.folders > 0);
    // With nothing to remove there is nothing to cancel either.
    if (!remove_->isEnabled())
        cancel_->setText(tr("Close"));
}

void UndoDlg::startUndo()
{
    if (!preview_ || undoTask_.running() || undone_)
        return;
    remove_->setEnabled(false);
    progress_->setVisible(true);
    summary_->setText(tr("Removing what the last put back made..."));
    auto result = std::make_shared<UndoResult>();
    undoTask_.start(
        [journal = journal_, result](std::stop_token stop) {
            *result = undoRestore(journal, stop);
        },
        [this, result] { showUndone(result); });
}

void UndoDlg::showUndone(std::shared_ptr<const UndoResult> undone)
{
    undone_ = std::move(undone);
    progress_->setVisible(false);
    list_->setUpdatesEnabled(false);
    model_->setItems(undone_, true);
    list_->setUpdatesEnabled(true);
    if (!undone_->read) {
        summary_->setText(tr("The journal could not be read: %1.").arg(oneLineName(fromUtf8(undone_->error))));
    } else {
        const Counts counts = countsOf(*undone_);
        QString text = tr("Removed %1 and %2.")
                           .arg(RestoreTexts::files(undone_->removedFiles),
                                RestoreTexts::folders(undone_->removedFolders));
        if (undone_->stopped)
            text += QLatin1Char(' ') + tr("Stopped: what was not tried can be undone again.");
        if (counts.kept > 0)
            text += QLatin1Char(' ') + tr("Kept %1, as the list says.").arg(entries(counts.kept));
        if (counts.gone > 0)
            text += QLatin1Char(' ') + tr("Already gone: %1.").arg(entries(counts.gone));
        summary_->setText(text);
    }
    finishButtons();
    if (closeRequested_)
        done(Accepted);
}

void UndoDlg::finishButtons()
{
    remove_->setVisible(false);
    cancel_->setText(tr("Close"));
    cancel_->setEnabled(true);
    cancel_->setFocus(Qt::OtherFocusReason);
}

void UndoDlg::reject()
{
    if (undoTask_.running()) {
        undoTask_.stop();
        stopGrace_.stopped();
        summary_->setText(tr("Stopping: the file being checked is finished first..."));
        cancel_->setEnabled(false);
        return;
    }
    if (!stopGrace_.escapeMayEnd())
        return;
    checkTask_.abandon();
    done(undone_ ? Accepted : Rejected);
}

void UndoDlg::closeEvent(QCloseEvent* event)
{
    if (undoTask_.running()) {
        closeRequested_ = true;
        undoTask_.stop();
        event->ignore();
        return;
    }
    checkTask_.abandon();
    done(undone_ ? Accepted : Rejected);
    event->accept();
}

} // namespace korvane::ui
