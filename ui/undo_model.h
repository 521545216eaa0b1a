#pragma once

// The rows of the undo dialog: each file and folder the last put back made,
// newest first, and whether undo removes it, keeps it (and why) or finds it
// gone; once undone, what it did.

#include "restore/restore_apply.h"

#include <QAbstractTableModel>
#include <QCoreApplication>

#include <memory>

namespace korvane::ui {

class UndoModel : public QAbstractTableModel {
    Q_DECLARE_TR_FUNCTIONS(korvane::ui::UndoDlg)

public:
    enum Column { kWhatColumn, kPathColumn, kWhyColumn, kColumns };

    using QAbstractTableModel::QAbstractTableModel;

    // `done`: what undo did, else what it would do.
    void setItems(std::shared_ptr<const UndoResult> result, bool done);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    QString text(int row, int column) const;

private:
    std::shared_ptr<const UndoResult> result_;
    bool done_ = false;
};

} // namespace korvane::ui
