#pragma once

// Every modal piece of the program (message boxes, the file dialog, the
// folder picker, modal dialogs and popup menus) is opened through here, so that tests can answer
// them without a person.

#include <QString>
#include <QStringList>

#include <optional>

class QAction;
class QDialog;
class QMenu;
class QPoint;
class QWidget;

namespace korvane::ui {

enum class MessageIcon { None, Exclamation };

struct OpenFileRequest {
    QStringList filters;   // "Label (pattern)"; the first is selected at the start
    QString initialName;   // shown in the name box
    QString defaultSuffix; // appended, with its dot, to a typed name without one
    QString directory;     // where the dialog starts; empty: the current directory
};

class ModalHandler {
public:
    virtual ~ModalHandler() = default;

    // One OK button; returns when it is dismissed.
    virtual void messageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) = 0;
    // The chosen file's full path; nothing when cancelled. A name that does
    // not exist is accepted where its folder does.
    virtual std::optional<QString> openFileName(QWidget* owner, const OpenFileRequest& request) = 0;
    // A folder chosen in the system's folder picker, starting at `start`;
    // nothing when cancelled (which is all a handler that does not answer
    // it says).
    virtual std::optional<QString> existingDirectory(QWidget* owner, const QString& caption, const QString& start);
    // Runs a dialog that is ready to show; returns the code it ended with.
    virtual int execDialog(QDialog& dialog) = 0;
    // The chosen action, or nullptr.
    virtual QAction* popupMenu(QMenu& menu, const QPoint& globalPos) = 0;
};

// The handler in force: Qt's own pieces, or the one a test put in.
ModalHandler& modals();

// Puts `handler` in force for its lifetime; for tests.
class ScopedModalHandler {
public:
    explicit ScopedModalHandler(ModalHandler& handler);
    ~ScopedModalHandler();
    ScopedModalHandler(const ScopedModalHandler&) = delete;
    ScopedModalHandler& operator=(const ScopedModalHandler&) = delete;

private:
    ModalHandler* previous_;
};

} // namespace korvane::ui
