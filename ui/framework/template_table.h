#pragma once

// The data a dialog is built from: a template gives a dialog's size, title,
// font and controls, laid out in dialog units (see dialog_units.h); a
// TemplateTable finds a program's templates and icons by id.
// TemplateDialog (template_dialog.h) builds a window from one template.

#include <QRect>
#include <QSize>

#include <vector>

class QIcon;
class QString;

namespace korvane::ui {

enum class ControlKind { PushButton, Label, Edit, Progress, Icon };

// Styles of a control. Which ones a kind understands is said at each.
enum ControlStyle : unsigned {
    kTabStop = 1u << 0,       // reached with Tab
    kGroup = 1u << 1,         // starts a group of controls
    kDefaultButton = 1u << 2, // push button: pressed by Enter where no other button has the focus
    kNoPrefix = 1u << 3,      // label: an '&' is shown, not taken as an access key
    kWordWrap = 1u << 4,      // label: wrapped within its rectangle
    kMultiLine = 1u << 5,     // edit
    kReadOnly = 1u << 6,      // edit
    kBorder = 1u << 7,        // edit, progress bar
    kStaticEdge = 1u << 8,    // edit: a thin sunken edge instead of a border
    kAutoHScroll = 1u << 9,   // edit: follows the text horizontally
    kAutoVScroll = 1u << 10,  // edit: follows the text vertically
    kHScroll = 1u << 11,      // edit: a horizontal scroll bar
    kVScroll = 1u << 12,      // edit: a vertical scroll bar
    kSmooth = 1u << 13,       // progress bar: a continuous bar
};

// The translation context of the templates' titles and texts: a program
// marks them with QT_TRANSLATE_NOOP("DialogTemplate", ...) and TemplateDialog
// shows them translated.
inline constexpr const char* kTemplateContext = "DialogTemplate";

// A template's text in the language of the installed translators.
QString templateText(const char* text);

struct ControlTemplate {
    ControlKind kind;
    int id;
    const char* text; // UTF-8, in English; for an icon, unused
    QRect rect;       // dialog units
    unsigned style;
    int resource = 0; // the icon resource an icon shows
};

enum DialogStyle : unsigned {
    kMinimizeBox = 1u << 0, // the window can be minimised
    kAppWindow = 1u << 1,   // a window of its own in the task bar, not a child of another window
};

struct DialogTemplate {
    int id;
    QSize size; // dialog units, client area
    const char* title;
    const char* fontFace;
    int pointSize;
    unsigned style;
    std::vector<ControlTemplate> controls;
};

// A program's dialog templates and the icons their icon controls show.
class TemplateTable {
public:
    virtual ~TemplateTable() = default;

    // nullptr where there is none.
    virtual const DialogTemplate* findDialogTemplate(int id) const = 0;
    // A null icon where there is none.
    virtual QIcon loadIcon(int id) const = 0;
};

} // namespace korvane::ui
