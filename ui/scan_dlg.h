#pragma once

// The main dialog. Step 1 picks the project file (typed into the path box or
// chosen with "..."), step 2 ("Process") scans it on a thread of its own and
// shows the report box, the status line and the progress bar as it goes;
// Escape or closing the window stops it.
// Windows paths of a project are looked for below the folders their drives
// and shares are mapped to. The context menu adds "Drive mapping..." and,
// after a run that missed files, "Find missing files in folder..." (whose
// search runs on a thread of its own as well, and stops the same way), and
// after files were put back, "Undo last put back". "Catalogue a disk..."
// records a disk in the user's catalogue of disks (on a thread of its own,
// stopped the same way), and "Remember present media on each scan", a
// setting of the configuration file, has each run remember its present
// files there.

#include "paths/run_setup.h"
#include "report/scan_feedback.h"
#include "run/run.h"
#include "search/missing_match.h"
#include "ui/disk_cataloguing.h"
#include "ui/folder_search.h"
#include "ui/framework/controls.h"
#include "ui/framework/template_dialog.h"
#include "ui/repaint_pacer.h"
#include "ui/scan_relay.h"
#include "ui/scanned_project.h"
#include "ui/stop_grace.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class CScanDlg : public ui::TemplateDialog, public ScanFeedback {
    Q_DECLARE_TR_FUNCTIONS(CScanDlg)

public:
    explicit CScanDlg(QWidget* parent = nullptr);
    ~CScanDlg() override;

    // Exchanged with the controls by DoDataExchange.
    ui::ProgressControl m_progress; // IDC_PROGRESS
    QString m_dvcPath;              // IDC_DVC_PATH: the project file
    QString m_fileList;             // IDC_FILE_LIST: the report, lines ended by CR LF
    QString m_status;               // IDC_STATUS
    QIcon m_hIcon;                  // IDR_MAINFRAME: the window's icon

    // "...": the file dialog; a chosen file replaces the path, a cancel keeps it.
    void OnBrowse();
    // "Process": starts a run on the file of the path box and returns; the
    // run says how it went when it ends. Does nothing during a run.
    void OnProcess();
    // The about entry of the window menu, and every command that differs
    // from it only in the low four bits, opens the about box.
    void OnSysCommand(unsigned id, qintptr lParam) override;
    // "Drive mapping...": edits the mappings of the configuration file.
    void OnDriveMapping();
    // "Find missing files in folder...": starts the search of a folder for
    // the missing files of the last run and returns; when it has ended, what
    // it found is shown, a mapping the user takes is saved and the project
    // is scanned again.
    void OnFindMissing();
    // "Undo last put back": shows what undoing the last put back of this
    // session would remove and keep, removes it once the user says so, and
    // scans again.
    void OnUndoPutBack();
    // "Catalogue a disk...": records or refreshes the disk of a folder the
    // user picks in the catalogue of disks, and says what it found.
    void OnCatalogueDisk();
    // "Remember present media on each scan": the setting turned over and
    // saved to the configuration file.
    void OnRememberSetting();
    void OnCommand(int id) override;

    // The dialog as a feedback outside a run: every change shows at once.
    // A run has a feedback of its own on the scan thread (ScanRelay), whose
    // changes the dialog shows at most once per frame of the screen and
    // once more at the end of the run; the status member changes with its
    // control, the report member (emptied at the start) takes the whole
    // report at the end.
    void appendReport(std::string_view text) override { showChange({.report = decodedText(text)}); }
    void clearReport() override { showChange({.reportCleared = true}); }
    void setStatus(std::string_view text) override { showChange({.statusChanged = true, .status = std::string(text)}); }
    void resetProgress() override { showChange({.progressReset = true}); }
    void stepProgress() override { showChange({.steps = 1}); }

    // The clock that paces the repaints of a run and times Escape after a
    // stop; for tests.
    void setPacerClock(ui::RepaintPacer::ClockSource now)
    {
        pacer_.setClock(now);
        stopGrace_.setClock(std::move(now));
    }
    // Whether a run is going on: from Process until its closing box (or
    // its end, when it was stopped) is done with.
    bool running() const { return run_ != nullptr; }
    // Whether a run or a folder search is going on: Process and the window
    // menu's entries that start work are off meanwhile.
    bool busy() const { return run_ || search_.running() || cataloguing_.running(); }
    // How a run has its code page; for tests.
    void setDecoderOpener(DecoderOpener opener) { decoderOpener_ = opener; }
    // The last run that opened its file: the project, its missing files
    // (each once, decoded) and the drives and shares it found no mapping for.
    const QString& lastRunPath() const { return lastRunPath_; }
    const std::vector<MissingFile>& lastMissing() const;
    const std::vector<std::string>& lastUnmapped() const { return lastUnmapped_; }

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;
    // Enter where no push button has the focus: in the path box it runs
    // Process; elsewhere it does nothing, so that a typed path and the
    // report are not lost with the dialog.
    void OnOK() override;
    // Escape. During a run it stops the run, which keeps its report so far,
    // and during a search the search; otherwise it ends the dialog, unless
    // something was stopped just now (see StopGrace).
    void OnCancel() override;
    // The close button, Alt+F4 and the window menu's Close. During a run
    // they stop it, and the dialog ends once the scan has stopped; during a
    // search the dialog ends at once.
    void closeEvent(QCloseEvent* event) override;
    // The existence test of a run: its project's resolver. Called on the
    // scan thread, which has the resolver to itself while the run lasts.
    virtual bool fileExists(std::string_view path);

private:
    struct CommandEntry {
        int id;
        void (CScanDlg::*handler)();
    };
    static const CommandEntry kCommandMap[];

    struct ScanRun;

    // Process off (the focus, where it had it, noted), the entries of the
    // window menu that start work grayed, the busy cursor; and back, with
    // the progress bar as the run left it.
    void enterBusy();
    void leaveBusy();
    // The entries that start work: grayed while busy or with nothing to work on.
    void enableMenuEntries();
    // The remember setting's entry checked as the configuration file says.
    void showRememberSetting();
    void stopSearch();
    // The search's results shown, and what the user chose done.
    void showSearchResults(const QString& folder, const ui::FolderSearch::Found& found);
    void showStatus(const QString& text);
    // Takes what the run's scan has handed over and shows it, at most once a frame.
    void takeRelayed();
    // The scan thread has ended: the rest of the report, then the closing box.
    void finishRun();
    void stopRun();
    void showChange(ui::RelayedChange&& change);
    // `text` decoded to UTF-8, as the report shows it; outside a run.
    std::string decodedText(std::string_view text);
    // The project of the last run, scanned again.
    void scanAgain();
    // Where a run finds its mappings and code page; read anew for each run.
    static MappingSources mappingSources() { return MappingSources::fromEnvironment(); }

    DecoderOpener decoderOpener_ = &TextDecoder::open;
    QString lastRunPath_;
    // The last run that opened its file, with its project and report: kept
    // until the next one, and shared with a search that may still read it.
    std::shared_ptr<const ui::ScannedProject> lastScan_;
    std::vector<std::string> lastUnmapped_;
    std::string lastJournal_; // of the last put back of this session, until undone
    ui::RepaintPacer pacer_;
    ui::StopGrace stopGrace_;
    QTimer frameTimer_; // brings takeRelayed back when the next frame is due
    QPointer<QWidget> focusMovedTo_; // where the focus went from Process when it was turned off
    std::unique_ptr<ScanRun> run_;
    ui::FolderSearch search_{this};
    ui::DiskCataloguing cataloguing_{this};
};

} // namespace korvane
