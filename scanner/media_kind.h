#pragma once

#include <string_view>

namespace korvane {

enum class MediaKind { Unknown, Movie, Still, Colour };

// The kind of a clip, from the last three bytes of its stored name, ASCII
// letters compared without regard to case. A zero byte among those three,
// or a name shorter than three bytes, is of no known kind.
MediaKind mediaKindOf(std::string_view storedName);

} // namespace korvane
