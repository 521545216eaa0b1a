#pragma once

// "Drive mapping...": the drives and shares of the editor's system and the
// local folders that stand for them. The user maps a drive or share to a
// folder picked with the folder picker, or removes a mapping; OK saves them
// to the configuration file that the dialog and korvane-scan share. The
// mappings that come from a Wine prefix or from WSL are shown as well, for
// information: a mapping of the file takes their place.

#include "paths/config_file.h"
#include "paths/path_resolver.h"

#include <QCoreApplication>
#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

class QComboBox;
class QDialogButtonBox;
class QHBoxLayout;
class QPushButton;
class QTreeWidget;

namespace korvane::ui {

class DriveMappingDlg : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(DriveMappingDlg)

public:
    // The file's mappings come from sources.configFile; the automatic ones
    // from its Wine prefix and WSL root.
    explicit DriveMappingDlg(const MappingSources& sources, QWidget* parent = nullptr);

    // The mappings as they stand in the dialog, in order of precedence.
    std::vector<DriveMapping> mappings() const;
    const ConfigFile& config() const { return config_; }

    // Saves the file; on failure says so and stays open.
    void accept() override;

private:
    // Reads the file's mappings and finds the automatic ones; the error of
    // reading the file, if any.
    std::string load(const MappingSources& sources);
    void makeList();
    // The drive box and the buttons that add and remove.
    QHBoxLayout* makeEditRow();
    // Where the mappings are saved, or why they are not.
    QString whereText(const std::string& error) const;
    void connectControls(const QDialogButtonBox* buttons);
    void refill(const QString& selectRoot = {});
    void add();
    void removeSelected();
    void updateButtons();

    std::filesystem::path file_;
    ConfigFile config_;
    std::vector<DriveMapping> automatic_;
    bool readable_ = true;

    QTreeWidget* list_ = nullptr;
    QComboBox* root_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace korvane::ui
