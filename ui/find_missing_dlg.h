#pragma once

// "Find missing files in folder...": what a search of a folder found for the
// missing files of the last run. Each missing path with its best candidate,
// and the drive mappings that would make the project find them. "Use
// mapping" saves the chosen mapping to the configuration file, where the
// file can take it (see unwritableMapping; for one it cannot, the dialog says
// why), and ends the dialog; the main dialog scans again. "Put back..." shows
// the plan of putting the files found back where the project looks for them,
// and ends the dialog once that plan was carried out (see putBackJournal);
// the main dialog then scans again. A missing file the folder does not hold
// but the catalogue of disks last saw on a disk not connected names that
// disk, so that the user can plug in that one.

#include "run/catalogue_lookup.h"
#include "search/missing_search.h"
#include "ui/put_back_dlg.h"

#include <QCoreApplication>
#include <QDialog>
#include <QString>

#include <memory>
#include <string>

class QDialogButtonBox;
class QLabel;
class QPushButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvane::ui {

class FindMissingDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(FindMissingDlg)

public:
    // `settings` say where the mappings are saved and read for a plan;
    // `elsewhere`, where the catalogue last saw missing files (or null).
    FindMissingDlg(const QString& folder, std::shared_ptr<const SearchResults> results,
                   std::shared_ptr<const CatalogueAnswers> elsewhere, PlanSettings settings, QWidget* parent = nullptr);

    // The mapping chosen with "Use mapping"; null until then.
    const MappingSuggestion* chosenMapping() const { return chosen_; }
    // Whether "Use mapping" saved it to the configuration file.
    bool mappingSaved() const { return saved_; }
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
    // "Use mapping": the selected mapping saved; on failure the dialog says
    // why and stays.
    void useMapping();
    // "Put back...": the plan, shown; carried out if the user says so.
    void putBack();

    std::shared_ptr<const SearchResults> results_;
    std::shared_ptr<const CatalogueAnswers> elsewhere_;
    PlanSettings settings_;
    const MappingSuggestion* chosen_ = nullptr;
    bool saved_ = false;
    std::string putBackJournal_;
    QTreeWidget* mappings_ = nullptr;
    QPushButton* use_ = nullptr;
    QPushButton* putBack_ = nullptr;
    QLabel* preview_ = nullptr;
};

} // namespace korvane::ui
