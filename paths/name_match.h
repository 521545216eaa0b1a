#pragma once

#include <string>
#include <string_view>

namespace korvane {

// The case of one character as the editor's file system ignored it: the
// simple case pairs of ASCII, Latin-1, Latin Extended-A, Latin Extended
// Additional, Greek, Cyrillic, Armenian, Roman numerals, circled and
// full-width Latin letters, each folded to its small letter. Characters
// without a simple pair (ß, ×, ÷, kana, kanji) fold to themselves.
char32_t foldCase(char32_t c);

// `utf8` with every character folded as above. Bytes that are not valid
// UTF-8 (names on disk can hold any bytes) are kept as they are, so two names
// that differ in such bytes never fold to the same text.
std::string foldCase(std::string_view utf8);
// foldCase(utf8) into `out`, replacing what it held; `out` keeps its memory.
void foldCaseInto(std::string& out, std::string_view utf8);

// Whether the on-disk name `name` matches the find-first pattern `pattern`
// (UTF-8) without regard to case: the wildcard rules of matchesFindFirst, with
// `?` standing for one character, not one byte.
bool matchesIgnoringCase(std::string_view pattern, std::string_view name);

} // namespace korvane
