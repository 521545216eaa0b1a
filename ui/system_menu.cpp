#include "ui/system_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace korvane::ui {

SystemMenu::SystemMenu(bool minimizeBox)
{
    if (minimizeBox)
        entries_.push_back({kMenuString, kScMinimize, QStringLiteral("Mi&nimize")});
    entries_.push_back({kMenuString, kScClose, QStringLiteral("&Close\tAlt+F4")});
}

void SystemMenu::appendMenu(unsigned flags, unsigned command, const QString& text)
{
    entries_.push_back({flags, flags & kMenuSeparator ? 0u : command, flags & kMenuSeparator ? QString() : text});
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
        }
    }
    return menu;
}

} // namespace korvane::ui
