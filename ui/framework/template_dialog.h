#pragma once

// A dialog built from a template of a TemplateTable: its window, font and
// controls, with the template's ids, texts, rectangles in dialog units and
// tab order. Push buttons send their id to OnCommand; Enter sends the id of
// the default push button (IDOK where there is none) and Escape IDCANCEL;
// the window menu appears as the context menu of the dialog's background,
// on the Menu key and on Shift+F10, and sends its commands to OnSysCommand.

#include "ui/framework/dialog_units.h"
#include "ui/framework/system_menu.h"

#include <QDialog>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace korvane::ui {

class DataExchange;
struct ControlTemplate;
struct DialogTemplate;
class TemplateTable;

class TemplateDialog : public QDialog {
public:
    // `templates` outlives the dialog.
    TemplateDialog(const TemplateTable& templates, int templateId, QWidget* parent = nullptr);
    ~TemplateDialog() override;

    int templateId() const { return templateId_; }

    // Builds the window and its controls, then calls OnInitDialog; the
    // focus goes to the first tab stop when OnInitDialog returns true. Only
    // the first call builds. False when the template does not exist.
    bool Create();
    // Create, then run modally (through modals()). Returns the code the
    // dialog ended with, or -1 when it could not be created. A dialog
    // without a parent is owned by the modal dialog or window in front.
    int DoModal();
    void EndDialog(int result);

    // nullptr before Create and for ids the template does not have.
    QWidget* GetDlgItem(int id) const;
    // The controls in template order.
    const std::vector<QWidget*>& controls() const { return controls_; }
    const DialogUnits& dialogUnits() const;

    // saveAndValidate: controls to members; else members to controls.
    bool UpdateData(bool saveAndValidate = true);

    // The window menu, which the program may extend. revert: back to the
    // standard entries, and nullptr.
    SystemMenu* GetSystemMenu(bool revert);
    void showSystemMenu(const QPoint& globalPos);

    // Handlers of the window menu's and of the controls' commands.
    virtual void OnSysCommand(unsigned id, qintptr lParam);
    virtual void OnCommand(int id);

    void accept() override;
    void reject() override;

protected:
    virtual void DoDataExchange(DataExchange& dx);
    // Loads the members into the controls.
    virtual bool OnInitDialog();
    // Saves the controls into the members, ends with IDOK.
    virtual void OnOK();
    // Ends with IDCANCEL.
    virtual void OnCancel();
    // What the window system does with a standard command: minimise, close.
    void DefaultSysCommand(unsigned id);

    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* createControl(const ControlTemplate& item);
    QWidget* createPushButton(const ControlTemplate& item);
    // May widen `rect`, in pixels, to fit the text.
    QWidget* createLabel(const ControlTemplate& item, QRect& rect);
    QWidget* createEdit(const ControlTemplate& item);
    int defaultCommand() const;

    const TemplateTable& templates_;
    int templateId_;
    const DialogTemplate* template_ = nullptr;
    std::optional<DialogUnits> units_;
    std::vector<QWidget*> controls_;
    std::map<int, QWidget*> byId_;
    std::unique_ptr<SystemMenu> systemMenu_;
    bool created_ = false;
    bool menuKeyDown_ = false;
};

} // namespace korvane::ui
