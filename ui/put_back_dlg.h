#pragma once

// "Put back": the plan for the missing files a search found, one row each,
// either where the file is put back from and to, or why it is left. The
// plan is made on a thread of its own when the dialog opens (telling
// identical candidates apart reads them whole), with the mappings and code
// page as they are then, so that a mapping added since the search counts.
// "Put back" carries it out on a thread of its own (hard links, else copies;
// "Copy instead of linking" copies always). Meanwhile the dialog keeps
// drawing, and Escape, Cancel or closing stop either. Then the rows say what
// became of each file and the summary how many were put back, how many
// bytes were copied and which journal holds what was made. The dialog ends
// accepted once a journal was written, so that the main dialog can offer to
// undo it and scan again.

#include "paths/run_setup.h"
#include "restore/restore_apply.h"
#include "restore/restore_plan.h"
#include "search/missing_search.h"
#include "ui/background_task.h"
#include "ui/stop_grace.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QDialog>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace korvane::ui {

class PutBackModel;

// Where a plan finds its mappings and code page: read anew when it is made.
struct PlanSettings {
    MappingSources sources;
    DecoderOpener decoderOpener = &TextDecoder::open;
    // The folder of the project: names that are not Windows paths, when
    // relative, go back only below it.
    std::string projectFolder = {};
};

class PutBackDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(korvane::ui::PutBackDlg)

public:
    PutBackDlg(std::shared_ptr<const SearchResults> results, PlanSettings settings, QWidget* parent = nullptr);
    ~PutBackDlg() override;

    // Whether the plan is being made, or carried out.
    bool planning() const { return planTask_.running(); }
    bool applying() const { return applyTask_.running(); }
    // The plan, once made.
    const RestorePlan* plan() const { return madePlan_.get(); }
    // What carrying the plan out did; nothing before.
    const std::optional<ApplyResult>& applied() const { return applied_; }

    // Escape and Cancel: while the plan is made they end the dialog; while
    // it is carried out they stop it, and the rows then say how far it got;
    // otherwise the dialog ends (but not just after a stop: see StopGrace).
    void reject() override;

protected:
    // The close button: while the plan is carried out it stops it, and the
    // dialog ends once it has stopped; otherwise it ends at once.
    void closeEvent(QCloseEvent* event) override;

private:
    struct Progress;

    void makeControls();
    void startPlan(std::shared_ptr<const SearchResults> results, PlanSettings settings);
    void showPlan(std::shared_ptr<RestorePlan> plan, const QString& error);
    void showDetail();
    void showChoices();
    void takeChoice(int index);
    void showCounts();
    void startApply();
    void showProgress();
    void finishApply(ApplyResult result);
    void showOutcome();

    std::string journalFolder_;
    BackgroundTask planTask_{this};
    BackgroundTask applyTask_{this};
    std::shared_ptr<Progress> progressShared_;
    // The plan, as made and then as the user chose for files it left
    // between different files (never changed while it is carried out).
    std::shared_ptr<RestorePlan> madePlan_;
    std::optional<ApplyResult> applied_;
    StopGrace stopGrace_;
    bool closeRequested_ = false;
    PutBackModel* model_ = nullptr;
    QLabel* summary_ = nullptr;
    QTreeView* list_ = nullptr;
    QPlainTextEdit* detail_ = nullptr;
    QComboBox* chooser_ = nullptr;
    QCheckBox* copy_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* putBack_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace korvane::ui
