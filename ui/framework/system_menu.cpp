#include "ui/framework/system_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>

#include <algorithm>

namespace korvane::ui {

SystemMenu::SystemMenu(bool minimizeBox)
{
    if (minimizeBox)
        entries_.push_back({kMenuString, kScMinimize, QCoreApplication::translate("SystemMenu", "Mi&nimize")});
    entries_.push_back({kMenuString, kScClose, QCoreApplication::translate("SystemMenu", "&Close\tAlt+F4")});
}

namespace {

MenuEntry makeEntry(unsigned flags, unsigned command, const QString& text)
{
    const bool separator = (flags & kMenuSeparator) != 0;
    return {flags, separator ? 0u : command, separator ? QString() : text};
}

} // namespace

void SystemMenu::appendMenu(unsigned flags, unsigned command, const QString& text)
{
    entries_.push_back(makeEntry(flags, command, text));
}

void SystemMenu::insertMenu(std::size_t position, unsigned flags, unsigned command, const QString& text)
{
    position = std::min(position, entries_.size());
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position), makeEntry(flags, command, text));
}

MenuEntry* SystemMenu::find(unsigned command)
{
    for (MenuEntry& entry : entries_) {
        if (!(entry.flags & kMenuSeparator) && entry.command == command)
            return &entry;
    }
    return nullptr;
}

bool SystemMenu::enableMenuItem(unsigned command, unsigned flags)
{
    MenuEntry* entry = find(command);
    if (entry)
        entry->flags = (entry->flags & ~kMenuGrayed) | (flags & kMenuGrayed);
    return entry != nullptr;
}

bool SystemMenu::checkMenuItem(unsigned command, unsigned flags)
{
    MenuEntry* entry = find(command);
    if (entry)
        entry->flags = (entry->flags & ~kMenuChecked) | (flags & kMenuChecked);
    return entry != nullptr;
}

std::unique_ptr<QMenu> SystemMenu::createPopup(QWidget* parent) const
{
    auto menu = std::make_unique<QMenu>(parent);
    for (const MenuEntry& entry : entries_) {
        if (entry.flags & kMenuSeparator) {
            menu->addSeparator();
        } else {
            QAction* action = menu->addAction(entry.text);
            action->setData(entry.command);
            action->setEnabled(!(entry.flags & kMenuGrayed));
            if (entry.flags & kMenuUnchecked) {
                action->setCheckable(true);
                action->setChecked((entry.flags & kMenuChecked) == kMenuChecked);
            }
        }
    }
    return menu;
}

} // namespace korvane::ui
