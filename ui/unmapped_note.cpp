#include "ui/unmapped_note.h"

#include "paths/path_resolver.h"

namespace korvane::ui {

std::string unmappedRootsSentence(const std::vector<std::string>& roots)
{
    return unmappedRootsNote(roots, UnmappedNote::Sentence);
}

} // namespace korvane::ui
