#pragma once

// The rows of the put-back dialog: one a missing file of the plan, saying
// where it is put back from and to, or why it is left; once the plan was
// carried out, what became of it. The texts are made when a row is drawn,
// so a plan of any size is shown at once, and the outcome of all of its
// rows changes the view once.

#include "restore/restore_apply.h"
#include "restore/restore_plan.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QStringList>

#include <memory>

namespace korvane::ui {

class PutBackModel : public QAbstractTableModel {
    Q_DECLARE_TR_FUNCTIONS(korvane::ui::PutBackDlg)

public:
    enum Column { kFileColumn, kWhatColumn, kFromColumn, kToColumn, kColumns };

    using QAbstractTableModel::QAbstractTableModel;

    void setPlan(std::shared_ptr<const RestorePlan> plan);
    // What carrying the plan out did (null: nothing yet); `result` must
    // stay as long as the model shows it.
    void setOutcome(const ApplyResult* result);
    // The step of `row` changed (the user chose a file for it).
    void stepChanged(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A cell's text, a name in it on one line and cut in its middle when very long.
    QString text(int row, int column) const;
    // Every word the plan column can show, for its width.
    static QStringList whatWords();

private:
    QString what(int row) const;
    QString fromOrWhy(int row) const;
    bool showsPlace(int row) const;

    std::shared_ptr<const RestorePlan> plan_;
    const ApplyResult* outcome_ = nullptr;
};

} // namespace korvane::ui
