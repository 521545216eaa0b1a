#pragma once

// What the put-back and undo dialogs say of files, in the user's language.
// The core gives its reasons in English, since they go into data as well;
// here they are translated from their code, or from their known English
// where they have none. A reason the dialogs do not know yet (a newer core)
// is shown in its English.

#include "restore/restore_apply.h"
#include "restore/restore_plan.h"

#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane::ui {

class RestoreTexts {
    Q_DECLARE_TR_FUNCTIONS(korvane::ui::PutBackDlg)

public:
    // "1 file", "12 files", and so on.
    static QString files(std::size_t n);
    static QString folders(std::size_t n);
    static QString bytes(std::uint64_t n);
    static QString missingFiles(std::size_t n);

    // Why the plan leaves a missing file where it is.
    static QString leftReason(const RestoreStep& step);
    // Why undo keeps a file or folder it made (UndoItem::why).
    static QString keptReason(const UndoItem& item);
};

} // namespace korvane::ui
