#include "ui/put_back_dlg.h"

#include "ui/framework/input_blocker.h"
#include "ui/shown_name.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <atomic>
#include <stop_token>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace korvane::ui {

namespace {

enum Column { kFileColumn, kWhatColumn, kFromColumn, kToColumn, kColumns };

// Long enough for any real path, short enough for a tooltip.
constexpr qsizetype kMaxShownChars = 1024;
// The selected row's lines: its name, from, to.
constexpr int kDetailLines = 5;
// The entries an undo left that its message names; the rest are counted.
constexpr std::size_t kNamedKept = 20;

QString count(std::size_t n, const QString& one, const QString& many)
{
    return n == 1 ? one : many.arg(n);
}

QString files(std::size_t n)
{
    return count(n, PutBackDlg::tr("1 file"), PutBackDlg::tr("%1 files"));
}

QString bytes(std::uint64_t n)
{
    return n == 1 ? PutBackDlg::tr("1 byte") : PutBackDlg::tr("%1 bytes").arg(n);
}

QString from(const RestoreStep& step)
{
    return oneLineName(fromBytes(step.source), kMaxShownChars);
}

QString to(const RestoreStep& step)
{
    return oneLineName(fromBytes(step.destination), kMaxShownChars);
}

// What the row says of its file: put back from where to where, or why not.
void setRow(QTreeWidgetItem& item, const QString& what, const QString& fromOrWhy, const QString& to = {})
{
    item.setText(kWhatColumn, what);
    item.setText(kFromColumn, fromOrWhy);
    item.setText(kToColumn, to);
    for (int column = 0; column < kColumns; ++column)
        item.setToolTip(column, item.text(column));
}

} // namespace

void runAside(const std::function<void()>& work)
{
    const InputBlocker blocker;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    std::thread thread([&] {
        work();
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    thread.join();
    QApplication::restoreOverrideCursor();
}

QString undoText(const UndoResult& undo)
{
    if (!undo.read)
        return PutBackDlg::tr("The journal could not be read: %1.").arg(oneLineName(fromUtf8(undo.error)));
    QString text = PutBackDlg::tr("Removed %1 and %2")
                       .arg(files(undo.removedFiles),
                            count(undo.removedFolders, PutBackDlg::tr("1 folder"), PutBackDlg::tr("%1 folders")));
    if (undo.alreadyGone > 0)
        text += PutBackDlg::tr("; %1 already gone").arg(undo.alreadyGone);
    if (!undo.kept.empty())
        text += PutBackDlg::tr("; left %1").arg(undo.kept.size());
    text += QLatin1Char('.');
    for (std::size_t k = 0; k < undo.kept.size() && k < kNamedKept; ++k)
        text += (k == 0 ? QStringLiteral("\n\n") : QStringLiteral("\n")) +
                PutBackDlg::tr("Left %1").arg(oneLineName(fromBytes(undo.kept[k]), 300));
    if (undo.kept.size() > kNamedKept)
        text += QLatin1Char('\n') + PutBackDlg::tr("and %1 more").arg(undo.kept.size() - kNamedKept);
    return text;
}

// A run of the plan: its thread, and the last progress it reported.
struct PutBackDlg::Apply {
    std::stop_source stop;
    std::mutex mutex;
    ApplyProgress latest;   // guarded by mutex
    bool latestShown = true; // guarded by mutex: no call to showProgress waits
    ApplyResult result;     // written by the thread, read once it has ended
    std::thread thread;
};

PutBackDlg::PutBackDlg(const RestorePlan& plan, QWidget* parent)
    : QDialog(parent), plan_(plan), journalFolder_(journalFolder())
{
    setWindowTitle(tr("Put back"));
    setObjectName(QStringLiteral("putBackDlg"));

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("putBackSummary"));
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText);
    // A long journal name is cut, not the dialog widened.
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    summary_->setMinimumWidth(1);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("putBackList"));
    list_->setHeaderLabels({tr("Missing file"), tr("Plan"), tr("From, or why left"), tr("To")});
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setUniformRowHeights(true);
    list_->setWordWrap(false);
    list_->setTextElideMode(Qt::ElideMiddle);
    fillList();
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(kFileColumn, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(kWhatColumn, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(kFromColumn, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(kToColumn, QHeaderView::Stretch);

    // A row's cells are cut to the list's width: the selected one whole
    // here, broken anywhere when a name has no room, never widening the
    // dialog.
    detail_ = new QPlainTextEdit(this);
    detail_->setObjectName(QStringLiteral("putBackDetail"));
    detail_->setReadOnly(true);
    detail_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    detail_->setFrameShape(QFrame::NoFrame);
    detail_->setBackgroundRole(QPalette::Window);
    detail_->viewport()->setBackgroundRole(QPalette::Window);
    detail_->setFixedHeight(detail_->fontMetrics().lineSpacing() * kDetailLines +
                            2 * static_cast<int>(detail_->document()->documentMargin()));
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { showDetail(); });

    copy_ = new QCheckBox(tr("&Copy instead of linking"), this);
    copy_->setObjectName(QStringLiteral("copyCheck"));
    copy_->setToolTip(tr("Files are hard-linked where they can be, so that they take no room twice; "
                         "copies can be changed without changing the files found."));

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("putBackProgress"));
    progress_->setVisible(false);

    auto* buttons = new QDialogButtonBox(this);
    putBack_ = buttons->addButton(tr("&Put back"), QDialogButtonBox::ActionRole);
    putBack_->setObjectName(QStringLiteral("putBackButton"));
    putBack_->setEnabled(plan_.putBackCount() > 0);
    putBack_->setDefault(true);
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    connect(putBack_, &QPushButton::clicked, this, [this] { startApply(); });
    connect(cancel_, &QPushButton::clicked, this, &PutBackDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(list_, 1);
    layout->addWidget(detail_);
    layout->addWidget(copy_);
    layout->addWidget(progress_);
    layout->addWidget(buttons);

    const std::size_t missing = plan_.steps.size();
    summary_->setText(missing == 0 ? tr("Nothing is missing.")
                                   : tr("%1 of %2 can be put back.")
                                         .arg(plan_.putBackCount())
                                         .arg(count(missing, tr("1 missing file"), tr("%1 missing files"))));
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
    resize(900, 480);
}

PutBackDlg::~PutBackDlg()
{
    if (apply_) {
        apply_->stop.request_stop();
        apply_->thread.join();
    }
}

void PutBackDlg::fillList()
{
    for (const RestoreStep& step : plan_.steps) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(kFileColumn, oneLineName(fromUtf8(step.decoded), kMaxShownChars));
        if (step.putBack)
            setRow(*item, tr("put back"), from(step), to(step));
        else
            setRow(*item, tr("left"), oneLineName(fromUtf8(describeLeft(step)), kMaxShownChars));
    }
}

void PutBackDlg::showDetail()
{
    const QTreeWidgetItem* item = list_->currentItem();
    if (!item) {
        detail_->clear();
        return;
    }
    QString text = item->text(kFileColumn) + QLatin1Char('\n');
    if (item->text(kToColumn).isEmpty())
        text += item->text(kWhatColumn) + QStringLiteral(": ") + item->text(kFromColumn);
    else
        text += tr("%1 from %2\nto %3").arg(item->text(kWhatColumn), item->text(kFromColumn), item->text(kToColumn));
    detail_->setPlainText(text);
}

void PutBackDlg::startApply()
{
    if (apply_ || applied_ || plan_.putBackCount() == 0)
        return;
    apply_ = std::make_unique<Apply>();
    Apply* apply = apply_.get();
    ApplyOptions options;
    options.forceCopy = copy_->isChecked();
    options.journalFolder = journalFolder_;
    options.stop = apply->stop.get_token();
    options.progress = [this, apply](const ApplyProgress& where) {
        const std::lock_guard<std::mutex> lock(apply->mutex);
        apply->latest = where;
        if (!apply->latestShown)
            return;
        apply->latestShown = false;
        QMetaObject::invokeMethod(this, [this] { showProgress(); }, Qt::QueuedConnection);
    };

    putBack_->setEnabled(false);
    copy_->setEnabled(false);
    progress_->setRange(0, static_cast<int>(plan_.putBackCount()));
    progress_->setValue(0);
    progress_->setVisible(true);
    summary_->setText(tr("Putting back %1...").arg(files(plan_.putBackCount())));

    apply->thread = std::thread([this, apply, options = std::move(options)] {
        apply->result = applyRestorePlan(plan_, options);
        QMetaObject::invokeMethod(this, [this] { finishApply(); }, Qt::QueuedConnection);
    });
}

void PutBackDlg::showProgress()
{
    if (!apply_)
        return;
    ApplyProgress where;
    {
        const std::lock_guard<std::mutex> lock(apply_->mutex);
        where = apply_->latest;
        apply_->latestShown = true;
    }
    progress_->setValue(static_cast<int>(where.done));
    summary_->setText(tr("Putting back: %1 of %2, %3 copied")
                          .arg(where.done)
                          .arg(files(where.total), bytes(where.bytesCopied)));
}

void PutBackDlg::finishApply()
{
    if (!apply_ || !apply_->thread.joinable())
        return;
    apply_->thread.join();
    applied_ = std::move(apply_->result);
    apply_.reset();
    progress_->setVisible(false);
    showOutcome();
    if (closeRequested_)
        reject();
}

void PutBackDlg::showOutcome()
{
    const ApplyResult& result = *applied_;
    if (result.journal.empty()) {
        summary_->setText(tr("Nothing was put back: no journal can be written in %1: %2.")
                              .arg(oneLineName(fromBytes(journalFolder_)),
                                   QString::fromLocal8Bit(std::strerror(result.journalError))));
    } else {
        std::size_t left = 0;
        for (std::size_t k = 0; k < plan_.steps.size() && k < result.steps.size(); ++k) {
            const RestoreStep& step = plan_.steps[k];
            QTreeWidgetItem& item = *list_->topLevelItem(static_cast<int>(k));
            switch (result.steps[k].outcome) {
            case StepOutcome::Left:
                ++left;
                break;
            case StepOutcome::Linked:
                setRow(item, tr("linked"), from(step), to(step));
                break;
            case StepOutcome::Copied:
                setRow(item, tr("copied"), from(step), to(step));
                break;
            case StepOutcome::Appeared:
                ++left;
                setRow(item, tr("left"),
                       tr("%1 appeared meanwhile; nothing was replaced")
                           .arg(oneLineName(fromBytes(step.destination), kMaxShownChars)));
                break;
            case StepOutcome::Failed:
                ++left;
                setRow(item, tr("failed"), oneLineName(fromUtf8(result.steps[k].error), kMaxShownChars));
                break;
            case StepOutcome::Stopped:
                ++left;
                setRow(item, tr("left"), tr("stopped before it was put back"));
                break;
            }
        }
        QString text = tr("Put back %1 (%2 linked, %3 copied); %4 copied.")
                           .arg(files(result.putBack()))
                           .arg(result.linked)
                           .arg(result.copied)
                           .arg(bytes(result.bytesCopied));
        if (left > 0)
            text += QLatin1Char(' ') + tr("%1 left, as the list says.").arg(count(left, tr("1 missing file"),
                                                                                  tr("%1 missing files")));
        text += QLatin1Char('\n') +
                tr("Journal of what was made: %1").arg(oneLineName(fromBytes(result.journal), 300));
        summary_->setText(text);
    }
    showDetail();
    putBack_->setVisible(false);
    cancel_->setText(tr("Close"));
    cancel_->setEnabled(true);
    cancel_->setDefault(true);
    cancel_->setFocus(Qt::OtherFocusReason);
}

void PutBackDlg::reject()
{
    if (apply_) {
        // Stop; the rows then say how far it got.
        apply_->stop.request_stop();
        cancel_->setEnabled(false);
        return;
    }
    done(applied_ && !applied_->journal.empty() ? Accepted : Rejected);
}

void PutBackDlg::closeEvent(QCloseEvent* event)
{
    if (apply_) {
        closeRequested_ = true;
        apply_->stop.request_stop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace korvane::ui
