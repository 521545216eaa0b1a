#include "ui/scan_dlg.h"

// The commands of the main dialog's window menu: the drive mapping, the
// search of a folder for missing files and what it found, undoing a put
// back, and the catalogue of disks.

#include "catalogue/catalogue_location.h"
#include "paths/config_file.h"
#include "ui/drive_mapping_dlg.h"
#include "ui/find_missing_dlg.h"
#include "ui/framework/modals.h"
#include "ui/resource_ids.h"
#include "ui/undo_dlg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>

namespace korvane {

void CScanDlg::OnDriveMapping()
{
    ui::DriveMappingDlg dialog(mappingSources(), this);
    ui::modals().execDialog(dialog);
}

void CScanDlg::OnFindMissing()
{
    if (busy() || !lastScan_ || !lastScan_->anyMissing())
        return;
    const QString title = tr("Find missing files in folder");
    const std::optional<QString> folder =
        ui::modals().existingDirectory(this, title, QFileInfo(lastRunPath_).absolutePath());
    if (!folder)
        return;
    ui::FolderSearch::Request request;
    request.folder = QFile::encodeName(*folder).toStdString();
    request.project = lastScan_;
    request.sources = mappingSources();
    request.decoderOpener = decoderOpener_;
    request.catalogue = defaultCataloguePath();
    search_.start(
        std::move(request), [this](const QString& status) { showStatus(status); },
        [this, folder = *folder](const ui::FolderSearch::Found& found, const std::string& error) {
            leaveBusy();
            showStatus(m_status);
            if (found.results)
                showSearchResults(folder, found);
            else if (!error.empty())
                ui::modals().messageBox(
                    this, tr("The names in the project cannot be read: %1.").arg(QString::fromStdString(error)),
                    QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        });
    enterBusy();
    // The bar moves to and fro: a walk does not know how much is left.
    if (QProgressBar* bar = m_progress.bar())
        bar->setRange(0, 0);
}

void CScanDlg::stopSearch()
{
    search_.stop();
    stopGrace_.stopped();
    leaveBusy();
    showStatus(search_.stoppedStatus());
}

void CScanDlg::showSearchResults(const QString& folder, const ui::FolderSearch::Found& found)
{
    // Names that are not Windows paths go back below the project's folder.
    ui::FindMissingDlg dialog(folder, found.results, found.elsewhere,
                              {mappingSources(), decoderOpener_, QFile::encodeName(lastRunPath_).toStdString()}, this);
    ui::modals().execDialog(dialog);
    if (!dialog.putBackJournal().empty())
        lastJournal_ = dialog.putBackJournal();
    // With the files put back, or the new mapping: the project of the search again.
    if (!dialog.putBackJournal().empty() || dialog.mappingSaved())
        scanAgain();
}

void CScanDlg::OnUndoPutBack()
{
    if (busy() || lastJournal_.empty())
        return;
    ui::UndoDlg dialog(lastJournal_, this);
    ui::modals().execDialog(dialog);
    // A journal read whole and undone whole is done with; one that was
    // stopped, or that left something, can be undone again.
    if (dialog.finished())
        lastJournal_.clear();
    enableMenuEntries();
    if (dialog.removedAny() && !lastRunPath_.isEmpty())
        scanAgain();
}

namespace {

// Where the folder dialog of "Catalogue a disk..." starts: where the
// desktop mounts disks, else the home folder.
QString whereDisksAre()
{
    QStringList places;
    if (const QString user = qEnvironmentVariable("USER"); !user.isEmpty())
        places << QStringLiteral("/run/media/") + user << QStringLiteral("/media/") + user;
    places << QStringLiteral("/media") << QStringLiteral("/mnt");
    for (const QString& folder : places) {
        const QDir disks(folder);
        if (disks.exists() && !disks.isEmpty())
            return folder;
    }
    return QDir::homePath();
}

} // namespace

void CScanDlg::OnCatalogueDisk()
{
    if (busy())
        return;
    const std::optional<QString> folder = ui::modals().existingDirectory(this, tr("Catalogue a disk"), whereDisksAre());
    if (!folder)
        return;
    cataloguing_.start(
        defaultCataloguePath(), QFile::encodeName(*folder).toStdString(),
        [this](const QString& status) { showStatus(status); },
        [this, folder = *folder](const ui::CataloguingEnd& end) {
            leaveBusy();
            const bool stopped = end.outcome && end.outcome->stopped;
            m_status = stopped ? tr("Cataloguing stopped") : QString();
            showStatus(m_status);
            const bool failed = !end.outcome || !end.outcome->ok() || !end.outcome->problems.empty();
            ui::modals().messageBox(this, ui::cataloguingSummary(folder, end), QStringLiteral("korvane"),
                                    failed ? ui::MessageIcon::Exclamation : ui::MessageIcon::None);
        });
    enterBusy();
    if (QProgressBar* bar = m_progress.bar())
        bar->setRange(0, 0);
}

void CScanDlg::OnRememberSetting()
{
    const std::filesystem::path& file = mappingSources().configFile;
    std::string error;
    ConfigFile config = file.empty() ? ConfigFile() : ConfigFile::load(file, &error);
    // A file that could not be read whole is never written over.
    if (file.empty() || !error.empty()) {
        ui::modals().messageBox(this, tr("The setting could not be saved. %1").arg(QString::fromStdString(error)),
                                QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
        return;
    }
    config.setRemember(!config.remember());
    if (!config.save(file, &error))
        ui::modals().messageBox(this, tr("The setting could not be saved. %1").arg(QString::fromStdString(error)),
                                QStringLiteral("korvane"), ui::MessageIcon::Exclamation);
    showRememberSetting();
}

void CScanDlg::showRememberSetting()
{
    const std::filesystem::path& file = mappingSources().configFile;
    const bool on = !file.empty() && ConfigFile::load(file).remember();
    if (ui::SystemMenu* menu = GetSystemMenu(false))
        menu->checkMenuItem(IDM_REMEMBER, on ? ui::kMenuChecked : ui::kMenuUnchecked);
}

} // namespace korvane
