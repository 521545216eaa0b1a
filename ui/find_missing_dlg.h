#pragma once

// "Find missing files in folder...": what a search of a folder found for the
// missing files of the last run. Each missing path with its best candidate,
// and the drive mappings that would make the project find them. "Use
// mapping" ends the dialog with the chosen mapping, where the configuration
// file can take it (see unwritableMapping; for one it cannot, the dialog says
// why); the main dialog saves it and scans again. "Put back..." shows the
// plan of putting the files found back where the project looks for them, and
// ends the dialog once that plan was carried out (see putBackJournal); the
// main dialog then scans again.

#include "search/missing_search.h"

#include <QDialog>
#include <QString>

#include <string>

class QDialogButtonBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvane {
class PathResolver;
}

namespace korvane::ui {

class FindMissingDlg : public QDialog {
public:
    // `results` must outlive the dialog, and `resolver` (the mappings and
    // code page of the run whose missing files were searched for; null: no
    // "Put back...") as well.
    FindMissingDlg(const QString& folder, const SearchResults& results, QWidget* parent = nullptr,
                   PathResolver* resolver = nullptr);

    // The mapping chosen with "Use mapping"; null until then.
    const MappingSuggestion* chosenMapping() const { return chosen_; }
    // The journal of the put back that ended the dialog; empty until then.
    const std::string& putBackJournal() const { return putBackJournal_; }

private:
    // Fills mappings_ with the suggestions; returns the first one the
    // configuration file can take, or nullptr.
    QTreeWidgetItem* makeMappingList();
    void connectButtons(const QDialogButtonBox* buttons);
    const MappingSuggestion* selectedMapping() const;
    // Says what the selected mapping finds, before "Use mapping" saves it,
    // or why it cannot be saved.
    void showPreview();
    // "Put back...": the plan, shown; carried out if the user says so.
    void putBack();

    const SearchResults& results_;
    PathResolver* resolver_;
    const MappingSuggestion* chosen_ = nullptr;
    std::string putBackJournal_;
    QTreeWidget* mappings_ = nullptr;
    QPushButton* use_ = nullptr;
    QPushButton* putBack_ = nullptr;
    QLabel* preview_ = nullptr;
};

} // namespace korvane::ui
