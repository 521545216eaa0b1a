#pragma once

// "Put back": the plan for the missing files a search found, one row each,
// either where the file is put back from and to, or why it is left. "Put
// back" carries the plan out on a thread of its own (hard links, else copies;
// "Copy instead of linking" copies always) while the dialog keeps drawing and
// Cancel stops it; then the rows say what became of each file and the summary
// how many were put back, how many bytes were copied and which journal holds
// what was made. The dialog ends accepted once a journal was written, so that
// the main dialog can offer to undo it and scan again.

#include "restore/restore_apply.h"
#include "restore/restore_plan.h"

#include <QCoreApplication>
#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace korvane::ui {

// Runs `work` on a thread of its own and returns once it has ended; meanwhile
// the windows keep drawing, input is dropped and the cursor says to wait.
void runAside(const std::function<void()>& work);

// The message of an undo: what was left and why, then how much was removed.
QString undoText(const UndoResult& undo);

class PutBackDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(korvane::ui::PutBackDlg)

public:
    // `plan` must outlive the dialog.
    explicit PutBackDlg(const RestorePlan& plan, QWidget* parent = nullptr);
    ~PutBackDlg() override;

    // Whether the plan is being carried out.
    bool applying() const { return apply_ != nullptr; }
    // What carrying the plan out did; nothing before.
    const std::optional<ApplyResult>& applied() const { return applied_; }

    // Escape and Cancel: while the plan is carried out they stop it, and the
    // rows then say how far it got; otherwise the dialog ends.
    void reject() override;

protected:
    // The close button: while the plan is carried out it stops it, and the
    // dialog ends once it has stopped.
    void closeEvent(QCloseEvent* event) override;

private:
    struct Apply;

    void fillList();
    void showDetail();
    void startApply();
    void showProgress();
    void finishApply();
    void showOutcome();

    const RestorePlan& plan_;
    std::string journalFolder_;
    std::unique_ptr<Apply> apply_;
    std::optional<ApplyResult> applied_;
    bool closeRequested_ = false;
    QLabel* summary_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPlainTextEdit* detail_ = nullptr;
    QCheckBox* copy_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* putBack_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace korvane::ui
