#pragma once

// "Undo last put back": nothing is removed before the user has seen what
// will be. The dialog first checks, on a thread of its own, what undoing the
// journal would do (each copy is read whole to prove it is unchanged) and
// lists each file and folder the put back made: removed, kept and why, or
// already gone. "Remove" then undoes it, again on a thread of its own and
// checking everything again, and the list says what was done. Escape,
// Cancel and closing end the check at once, and stop the undo before its
// next file or folder; what was not tried can be undone again.

#include "restore/restore_apply.h"
#include "ui/background_task.h"
#include "ui/stop_grace.h"

#include <QCoreApplication>
#include <QDialog>

#include <memory>
#include <string>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace korvane::ui {

class UndoModel;

class UndoDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(korvane::ui::UndoDlg)

public:
    explicit UndoDlg(std::string journal, QWidget* parent = nullptr);
    ~UndoDlg() override;

    bool checking() const { return checkTask_.running(); }
    bool undoing() const { return undoTask_.running(); }
    // What the check found; what the undo did. Null before.
    const UndoResult* preview() const { return preview_.get(); }
    const UndoResult* undone() const { return undone_.get(); }
    // The journal was undone to its end: there is nothing left to undo.
    bool finished() const { return undone_ && undone_->read && !undone_->stopped; }
    bool removedAny() const { return undone_ && undone_->removedFiles + undone_->removedFolders > 0; }

    // Escape and Cancel: they end the check and the dialog; during the
    // undo they stop it, and the list then says how far it got.
    void reject() override;

protected:
    // During the undo it stops it, and the dialog ends once it has stopped.
    void closeEvent(QCloseEvent* event) override;

private:
    void startCheck();
    void showPreview(std::shared_ptr<const UndoResult> preview);
    void startUndo();
    void showUndone(std::shared_ptr<const UndoResult> undone);
    void finishButtons();

    std::string journal_;
    BackgroundTask checkTask_{this};
    BackgroundTask undoTask_{this};
    std::shared_ptr<const UndoResult> preview_;
    std::shared_ptr<const UndoResult> undone_;
    StopGrace stopGrace_;
    bool closeRequested_ = false;
    UndoModel* model_ = nullptr;
    QLabel* summary_ = nullptr;
    QTreeView* list_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace korvane::ui
