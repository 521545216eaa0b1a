#pragma once

// Between the bytes of a project file or the file system and the texts the
// dialog shows.

#include <QString>

#include <string>
#include <string_view>

namespace korvane::ui {

// A name as the project stores it, up to its first zero byte: UTF-8 where
// it is valid UTF-8, else the Japanese Windows code page (Shift JIS) where
// the bytes are valid in it, else the Western Windows code page, so that
// every byte shows as some character.
QString decodeStoredText(std::string_view bytes);

// A path typed or picked in the dialog, as the file system takes it.
std::string encodePath(const QString& path);

} // namespace korvane::ui
