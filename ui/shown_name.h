#pragma once

// How the dialogs show text that comes from a project, a disk or the core:
// names as the system spells them, and on one line, however hostile.

#include <QString>

#include <string_view>

namespace korvane::ui {

// The core's text, which is UTF-8.
QString fromUtf8(std::string_view text);

// A local path's bytes, in the system's encoding of file names.
QString fromBytes(std::string_view text);

// A name from a project or a disk as one line of a list or label: control
// characters (line breaks, escapes, direction marks) shown as escapes, and a
// name longer than `maxChars` cut in its middle.
QString oneLineName(const QString& name, qsizetype maxChars = 1024);

} // namespace korvane::ui
