#pragma once

// What the dialog tests share: a modal handler that answers for the user and
// records what was asked, the main dialog on screen with settings of its
// own, a feedback that records the core's own report of a project, and
// project files built on the spot.

#include "report/scan_feedback.h"
#include "scanner/scan.h"
#include "tests/builder/project_builder.h"
#include "ui/framework/modals.h"
#include "ui/framework/template_dialog.h"
#include "ui/resource_ids.h"
#include "ui/scan_dlg.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane::uitest {

struct ShownMessage {
    QString text;
    QString caption;
    ui::MessageIcon icon;
    QWidget* owner;
};

struct ShownMenu {
    QStringList texts; // an empty string for a separator
    std::vector<unsigned> commands;
};

class ScriptedModals final : public ui::ModalHandler {
public:
    // Called while a message box is up, before it is answered.
    std::function<void(const ShownMessage&)> onMessage;
    std::vector<ShownMessage> messages;

    std::deque<QString> fileAnswers; // a null string: cancel
    std::vector<ui::OpenFileRequest> fileRequests;

    std::deque<QString> folderAnswers; // a null string: cancel
    std::vector<QString> folderCaptions;

    // Answers a modal dialog; by default it ends with IDCANCEL unseen.
    std::function<int(QDialog&)> onDialog;
    std::vector<QString> dialogTitles;

    // Called while a popup menu is up, before it is answered.
    std::function<void(QMenu&)> onMenu;
    // The command to choose from a popup menu; 0 chooses nothing.
    unsigned menuChoice = 0;
    std::vector<ShownMenu> menus;

    void messageBox(QWidget* owner, const QString& text, const QString& caption, ui::MessageIcon icon) override
    {
        const ShownMessage shown{text, caption, icon, owner};
        if (onMessage)
            onMessage(shown);
        messages.push_back(shown);
    }

    std::optional<QString> openFileName(QWidget*, const ui::OpenFileRequest& request) override
    {
        fileRequests.push_back(request);
        if (fileAnswers.empty())
            return std::nullopt;
        const QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }

    std::optional<QString> existingDirectory(QWidget*, const QString& caption, const QString&) override
    {
        folderCaptions.push_back(caption);
        if (folderAnswers.empty())
            return std::nullopt;
        const QString answer = folderAnswers.front();
        folderAnswers.pop_front();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }

    int execDialog(QDialog& dialog) override
    {
        dialogTitles.push_back(dialog.windowTitle());
        return onDialog ? onDialog(dialog) : 2;
    }

    QAction* popupMenu(QMenu& menu, const QPoint&) override
    {
        if (onMenu)
            onMenu(menu);
        ShownMenu shown;
        QAction* chosen = nullptr;
        for (QAction* action : menu.actions()) {
            shown.texts.push_back(action->isSeparator() ? QString() : action->text());
            shown.commands.push_back(action->isSeparator() ? 0u : action->data().toUInt());
            if (!action->isSeparator() && menuChoice != 0 && action->data().toUInt() == menuChoice)
                chosen = action;
        }
        menus.push_back(shown);
        return chosen;
    }
};

// Points HOME, XDG_CONFIG_HOME, XDG_STATE_HOME, XDG_DATA_HOME (the
// catalogue of disks) and WINEPREFIX at empty
// folders of `root`, so that neither the machine's settings nor its Wine
// drives take part in a test, and journals of putting back go there;
// returns the configuration file the dialog then uses.
inline QString isolateSettings(const QString& root)
{
    for (const char* folder : {"home", "config", "state", "data", "wine"})
        QDir(root).mkpath(QLatin1String(folder));
    qputenv("HOME", QFile::encodeName(root + QStringLiteral("/home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(root + QStringLiteral("/state")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
    qputenv("WINEPREFIX", QFile::encodeName(root + QStringLiteral("/wine")));
    qunsetenv("WSL_DISTRO_NAME");
    return root + QStringLiteral("/config/korvane/korvane.conf");
}

// Runs the event loop until `done` holds; false when it does not within `timeout`.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    const QDeadlineTimer deadline(timeout);
    QTimer tick; // wakes the loop now and then to look at the deadline
    tick.start(100);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

// Runs the event loop until the dialog's run or search has ended, with
// what follows it (the closing box, the search's dialog and a run it
// starts); false when it has not ended within `timeout`.
inline bool waitForRun(const CScanDlg& dlg, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    return waitUntil([&dlg] { return !dlg.busy(); }, timeout);
}

template <class T>
T* item(ui::TemplateDialog& dialog, int id)
{
    return dynamic_cast<T*>(dialog.GetDlgItem(id));
}

// The main dialog as a test meets it: settings of its own, a modal handler
// that answers for the user, and a fresh dialog shown and active for each
// test function. A test object derives from it and calls isolate() in
// initTestCase(), openDialog() in init() and closeDialog() in cleanup().
class DialogFixture {
protected:
    // No drive mappings of the machine's own: the reports are those of the core.
    void isolate()
    {
        QVERIFY(settingsRoot.isValid());
        configFile = isolateSettings(settingsRoot.path());
    }

    void openDialog()
    {
        modals = ScriptedModals();
        scope.emplace(modals);
        dlg = new CScanDlg;
        QVERIFY(dlg->Create());
        dlg->show();
        // Also on a display without a window manager, which activates nothing itself.
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        dlg->activateWindow();
        QApplication::setActiveWindow(dlg);
        QVERIFY(QTest::qWaitForWindowActive(dlg));
    }

    // Also waits until every window a test opened is gone.
    void closeDialog()
    {
        delete dlg;
        dlg = nullptr;
        scope.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void typePath(const QString& path)
    {
        auto* edit = item<QLineEdit>(*dlg, IDC_DVC_PATH);
        edit->clear();
        QTest::keyClicks(edit, path);
    }

    // Process, and the run to its end.
    void clickProcess()
    {
        QTest::mouseClick(item<QPushButton>(*dlg, IDC_PROCESS), Qt::LeftButton);
        QVERIFY(waitForRun(*dlg));
    }

    QTemporaryDir settingsRoot;
    QString configFile;
    CScanDlg* dlg = nullptr;
    ScriptedModals modals;
    std::optional<ui::ScopedModalHandler> scope;
};

// The report exactly as the core produces it for a file, for comparison.
class ReportRecorder final : public ScanFeedback {
public:
    std::string report;

    void appendReport(std::string_view text) override { report.append(text); }
    void clearReport() override { report.clear(); }
    void setStatus(std::string_view) override {}
    void resetProgress() override {}
    void stepProgress() override {}
};

inline ScanResult scanForReference(const QString& path, std::string* report = nullptr)
{
    ReportRecorder recorder;
    ScanResult result = runScan(path.toStdString(), recorder);
    if (report)
        *report = recorder.report;
    return result;
}

inline void writeProject(const QString& path, const std::vector<std::uint8_t>& bytes)
{
    testkit::writeFile(path.toStdString(), bytes);
}

// A project of the newest layout whose main track refers to `count` movies
// that do not exist.
inline testkit::ProjectModel projectMissing(int count)
{
    testkit::ProjectModel model;
    model.version = 519;
    for (int k = 0; k < count; ++k)
        model.mainAV.push_back({"no/such/folder/clip" + std::to_string(k) + ".avi", "", 0});
    return model;
}

} // namespace korvane::uitest
