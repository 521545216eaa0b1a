#include "ui/put_back_dlg.h"

#include "ui/put_back_model.h"
#include "ui/restore_texts.h"
#include "ui/shown_name.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLocale>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <utility>

namespace korvane::ui {

namespace {

// The selected row's lines: its name, from, to.
constexpr int kDetailLines = 5;

} // namespace

// The last progress the run of the plan reported, for the GUI thread.
struct PutBackDlg::Progress {
    std::mutex mutex;
    ApplyProgress latest;   // guarded by mutex
    bool latestShown = true; // guarded by mutex: no call to showProgress waits
};

PutBackDlg::PutBackDlg(std::shared_ptr<const SearchResults> results, PlanSettings settings, QWidget* parent)
    : QDialog(parent), journalFolder_(journalFolder())
{
    setWindowTitle(tr("Put back"));
    setObjectName(QStringLiteral("putBackDlg"));
    makeControls();
    resize(900, 480);
    startPlan(std::move(results), std::move(settings));
}

PutBackDlg::~PutBackDlg()
{
    // Putting back changes the disk: it is stopped and waited for, never left running.
    applyTask_.stopAndWait();
}

void PutBackDlg::makeControls()
{
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("putBackSummary"));
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText);
    // A long journal name is cut, not the dialog widened.
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    summary_->setMinimumWidth(1);

    model_ = new PutBackModel(this);
    list_ = new QTreeView(this);
    list_->setObjectName(QStringLiteral("putBackList"));
    list_->setModel(model_);
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setUniformRowHeights(true);
    list_->setWordWrap(false);
    list_->setTextElideMode(Qt::ElideMiddle);
    // No column is sized to its contents, which would measure rows again
    // for every row that changes: the plan column is as wide as its widest
    // word, the others share the rest.
    QHeaderView* header = list_->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setSectionResizeMode(PutBackModel::kWhatColumn, QHeaderView::Fixed);
    int widest = 0;
    for (const QString& word : PutBackModel::whatWords())
        widest = std::max(widest, list_->fontMetrics().horizontalAdvance(word));
    header->resizeSection(PutBackModel::kWhatColumn, widest + 3 * list_->fontMetrics().averageCharWidth());
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { showDetail(); });

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

    // For a file left between different files: the user's choice among them.
    chooser_ = new QComboBox(this);
    chooser_->setObjectName(QStringLiteral("choiceBox"));
    chooser_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    chooser_->setVisible(false);
    connect(chooser_, &QComboBox::activated, this, [this](int index) { takeChoice(index); });

    copy_ = new QCheckBox(tr("&Copy instead of linking"), this);
    copy_->setObjectName(QStringLiteral("copyCheck"));
    copy_->setToolTip(tr("Files are hard-linked where they can be, so that they take no room twice; "
                         "copies can be changed without changing the files found."));

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("putBackProgress"));

    auto* buttons = new QDialogButtonBox(this);
    putBack_ = buttons->addButton(tr("&Put back"), QDialogButtonBox::ActionRole);
    putBack_->setObjectName(QStringLiteral("putBackButton"));
    putBack_->setEnabled(false);
    putBack_->setDefault(true);
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    connect(putBack_, &QPushButton::clicked, this, [this] { startApply(); });
    connect(cancel_, &QPushButton::clicked, this, &PutBackDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(list_, 1);
    layout->addWidget(detail_);
    layout->addWidget(chooser_);
    layout->addWidget(copy_);
    layout->addWidget(progress_);
    layout->addWidget(buttons);
}

void PutBackDlg::startPlan(std::shared_ptr<const SearchResults> results, PlanSettings settings)
{
    summary_->setText(tr("Making the plan: which file goes where..."));
    // It moves to and fro: the plan does not say how far it is.
    progress_->setRange(0, 0);
    copy_->setEnabled(false);
    auto plan = std::make_shared<RestorePlan>();
    auto error = std::make_shared<std::string>();
    planTask_.start(
        [results = std::move(results), settings = std::move(settings), plan, error](std::stop_token) {
            RunSetup setup = setUpRun(settings.sources, std::nullopt, settings.decoderOpener);
            if (!setup.resolver) {
                *error = setup.errorText();
                return;
            }
            PlanOptions options;
            options.projectFolder = settings.projectFolder;
            *plan = makeRestorePlan(*results, *setup.resolver, options);
        },
        [this, plan, error] {
            if (error->empty())
                showPlan(plan, {});
            else
                showPlan(nullptr, tr("The names in the project cannot be read: %1.").arg(fromUtf8(*error)));
        });
}

void PutBackDlg::showPlan(std::shared_ptr<RestorePlan> plan, const QString& error)
{
    progress_->setVisible(false);
    progress_->setRange(0, 1);
    if (!plan) {
        summary_->setText(error);
        return;
    }
    madePlan_ = std::move(plan);
    model_->setPlan(madePlan_);
    showCounts();
    copy_->setEnabled(true);
    if (model_->rowCount() > 0)
        list_->setCurrentIndex(model_->index(0, 0));
}

void PutBackDlg::showCounts()
{
    const std::size_t missing = madePlan_->steps.size();
    summary_->setText(missing == 0 ? tr("Nothing is missing.")
                                   : tr("%1 of %2 can be put back.")
                                         .arg(madePlan_->putBackCount())
                                         .arg(RestoreTexts::missingFiles(missing)));
    putBack_->setEnabled(madePlan_->putBackCount() > 0);
}

// The files of the current row to choose from, when the plan left it
// between different files and nothing was put back yet.
void PutBackDlg::showChoices()
{
    const QModelIndex current = list_->currentIndex();
    const RestoreStep* step =
        madePlan_ && current.isValid() ? &madePlan_->steps[static_cast<std::size_t>(current.row())] : nullptr;
    const bool choosing = step && !step->choices.empty() && !applyTask_.running() && !applied_;
    chooser_->setVisible(choosing);
    if (!choosing)
        return;
    chooser_->clear();
    chooser_->addItem(tr("Leave it: choose one of the %1 different files found").arg(step->choices.size()));
    int chosen = 0;
    for (std::size_t k = 0; k < step->choices.size(); ++k) {
        const Choice& choice = step->choices[k];
        const QDateTime modified = QDateTime::fromMSecsSinceEpoch(choice.mtime / 1000000);
        chooser_->addItem(tr("%1 (%2, modified %3)")
                              .arg(oneLineName(fromBytes(choice.path), 300), RestoreTexts::bytes(choice.size),
                                   QLocale().toString(modified, QLocale::ShortFormat)));
        if (step->putBack && step->source == choice.path)
            chosen = static_cast<int>(k) + 1;
    }
    chooser_->setCurrentIndex(chosen);
}

void PutBackDlg::takeChoice(int index)
{
    const QModelIndex current = list_->currentIndex();
    if (!madePlan_ || !current.isValid() || applyTask_.running() || applied_)
        return;
    RestoreStep& step = madePlan_->steps[static_cast<std::size_t>(current.row())];
    if (index <= 0) {
        unchoose(step);
    } else if (!choose(step, static_cast<std::size_t>(index - 1))) {
        unchoose(step);
        chooser_->setCurrentIndex(0);
        detail_->setPlainText(tr("That file has changed since it was found: search again to see it as it is."));
        model_->stepChanged(current.row());
        showCounts();
        return;
    }
    model_->stepChanged(current.row());
    showCounts();
    showDetail();
}

void PutBackDlg::showDetail()
{
    showChoices();
    const QModelIndex current = list_->currentIndex();
    if (!current.isValid()) {
        detail_->clear();
        return;
    }
    const int row = current.row();
    const auto cell = [&](int column) { return model_->text(row, column); };
    QString text = cell(PutBackModel::kFileColumn) + QLatin1Char('\n');
    if (cell(PutBackModel::kToColumn).isEmpty())
        text += cell(PutBackModel::kWhatColumn) + QStringLiteral(": ") + cell(PutBackModel::kFromColumn);
    else
        text += tr("%1 from %2\nto %3")
                    .arg(cell(PutBackModel::kWhatColumn), cell(PutBackModel::kFromColumn),
                         cell(PutBackModel::kToColumn));
    detail_->setPlainText(text);
}

void PutBackDlg::startApply()
{
    if (applyTask_.running() || applied_ || !madePlan_ || madePlan_->putBackCount() == 0)
        return;
    auto shared = std::make_shared<Progress>();
    progressShared_ = shared;
    ApplyOptions options;
    options.forceCopy = copy_->isChecked();
    options.journalFolder = journalFolder_;
    // A call to showProgress waits at most once; the dialog outlives the
    // run (it waits for it when it goes), and so may be posted to.
    options.progress = [this, shared](const ApplyProgress& where) {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->latest = where;
        if (!shared->latestShown)
            return;
        shared->latestShown = false;
        QMetaObject::invokeMethod(this, [this] { showProgress(); }, Qt::QueuedConnection);
    };

    putBack_->setEnabled(false);
    copy_->setEnabled(false);
    progress_->setRange(0, static_cast<int>(madePlan_->putBackCount()));
    progress_->setValue(0);
    progress_->setVisible(true);
    summary_->setText(tr("Putting back %1...").arg(RestoreTexts::files(madePlan_->putBackCount())));

    auto result = std::make_shared<ApplyResult>();
    applyTask_.start(
        [plan = madePlan_, options = std::move(options), result](std::stop_token stop) mutable {
            options.stop = std::move(stop);
            *result = applyRestorePlan(*plan, options);
        },
        [this, result] { finishApply(std::move(*result)); });
}

void PutBackDlg::showProgress()
{
    if (!applyTask_.running() || !progressShared_)
        return;
    ApplyProgress where;
    {
        const std::lock_guard<std::mutex> lock(progressShared_->mutex);
        where = progressShared_->latest;
        progressShared_->latestShown = true;
    }
    progress_->setValue(static_cast<int>(where.done));
    // Once stopping, the summary says so until the rows say how far it got.
    if (!applyTask_.stopping())
        summary_->setText(tr("Putting back: %1 of %2, %3 copied")
                              .arg(where.done)
                              .arg(RestoreTexts::files(where.total), RestoreTexts::bytes(where.bytesCopied)));
}

void PutBackDlg::finishApply(ApplyResult result)
{
    applied_ = std::move(result);
    progress_->setVisible(false);
    showOutcome();
    if (closeRequested_)
        done(applied_->journal.empty() ? Rejected : Accepted);
}

void PutBackDlg::showOutcome()
{
    const ApplyResult& result = *applied_;
    if (result.journal.empty()) {
        summary_->setText(tr("Nothing was put back: no journal can be written in %1: %2.")
                              .arg(oneLineName(fromBytes(journalFolder_)),
                                   QString::fromLocal8Bit(std::strerror(result.journalError))));
    } else {
        const std::size_t left = madePlan_->steps.size() - result.putBack();
        // Every row changes at once, and the view is drawn once.
        list_->setUpdatesEnabled(false);
        model_->setOutcome(&result);
        list_->setUpdatesEnabled(true);
        QString text = tr("Put back %1 (%2 linked, %3 copied); %4 copied.")
                           .arg(RestoreTexts::files(result.putBack()))
                           .arg(result.linked)
                           .arg(result.copied)
                           .arg(RestoreTexts::bytes(result.bytesCopied));
        if (left > 0)
            text += QLatin1Char(' ') + tr("%1 left, as the list says.").arg(RestoreTexts::missingFiles(left));
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
    if (applyTask_.running()) {
        // Stop; the rows then say how far it got.
        applyTask_.stop();
        stopGrace_.stopped();
        summary_->setText(tr("Stopping: the file being put back is finished or given up first..."));
        cancel_->setEnabled(false);
        return;
    }
    if (!stopGrace_.escapeMayEnd())
        return;
    planTask_.abandon();
    done(applied_ && !applied_->journal.empty() ? Accepted : Rejected);
}

void PutBackDlg::closeEvent(QCloseEvent* event)
{
    if (applyTask_.running()) {
        closeRequested_ = true;
        applyTask_.stop();
        event->ignore();
        return;
    }
    // Closing ends the dialog at once, also just after a stop.
    planTask_.abandon();
    done(applied_ && !applied_->journal.empty() ? Accepted : Rejected);
    event->accept();
}

} // namespace korvane::ui
