#pragma once

// The window menu of a dialog. Window systems that offer no such menu to the
// program (X11, Wayland, macOS) get it as the dialog's context menu; its
// commands go to the dialog's OnSysCommand.

#include <QString>

#include <cstddef>
#include <memory>
#include <vector>

class QMenu;
class QWidget;

namespace korvane::ui {

// Kinds of menu entries.
inline constexpr unsigned kMenuString = 0x0000;
inline constexpr unsigned kMenuGrayed = 0x0001;
// An entry that is a setting, on (kMenuChecked) or off (kMenuUnchecked):
// shown with a check box.
inline constexpr unsigned kMenuUnchecked = 0x0100;
inline constexpr unsigned kMenuChecked = 0x0108;
inline constexpr unsigned kMenuSeparator = 0x0800;

// The standard commands; window commands are compared with their low four
// bits masked off.
inline constexpr unsigned kSysCommandMask = 0xFFF0;
inline constexpr unsigned kScMinimize = 0xF020;
inline constexpr unsigned kScClose = 0xF060;

struct MenuEntry {
    unsigned flags;
    unsigned command;
    QString text; // '&' marks the access key
};

class SystemMenu {
public:
    // Starts with the standard entries: Minimize (where the dialog has a
    // minimise box) and Close.
    explicit SystemMenu(bool minimizeBox);

    void appendMenu(unsigned flags, unsigned command = 0, const QString& text = {});
    // Inserts before the entry at `position` (an index into entries()).
    void insertMenu(std::size_t position, unsigned flags, unsigned command = 0, const QString& text = {});
    // Grays out (kMenuGrayed) or enables the entry of `command`; returns
    // whether there is one.
    bool enableMenuItem(unsigned command, unsigned flags);
    // Turns the setting of `command` on or off (kMenuChecked,
    // kMenuUnchecked); returns whether there is one.
    bool checkMenuItem(unsigned command, unsigned flags);
    const std::vector<MenuEntry>& entries() const { return entries_; }

    // A popup with one action per entry; an action's data is its command;
    // gray entries are disabled, settings checkable.
    std::unique_ptr<QMenu> createPopup(QWidget* parent) const;

private:
    MenuEntry* find(unsigned command); // null when no entry has it
    std::vector<MenuEntry> entries_;
};

} // namespace korvane::ui
