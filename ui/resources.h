#pragma once

// The program's resources (resources.cpp): the dialog templates, the string
// table and the icon, looked up by the ids of resource.h.

#include "ui/framework/template_table.h"

#include <QFont>
#include <QIcon>
#include <QString>

namespace korvane::ui {

// The templates of the program's dialogs, for TemplateDialog.
const TemplateTable& programTemplates();

// The font of the program's templates, where it exists (see dialogFont):
// the font of every window and box of the program, so that they all look
// alike.
QFont programFont();

// An empty string or a null icon where there is none.
QString loadString(int id);
QIcon loadIcon(int id);

} // namespace korvane::ui
