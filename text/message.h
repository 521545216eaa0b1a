#pragma once

// The core's sentences for people (the closing box's notes, korvane-scan's
// warnings) pass through here, so that a face can show them in the user's
// language: it installs a translator once, before any other thread runs;
// without one every sentence is the English it is written in. The core
// itself needs no catalogue and no locale.
//
// A sentence is marked with message("...") where it is written whole, and
// with fillMessage("... %1 ...", {...}) where names or numbers go into it,
// and with N_("...") where it is kept for later; xgettext finds all three. Data (the report,
// JSON, the lines scripts read) never passes through here.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace korvane {

// Returns the translation of `english`, or `english` itself; called from any
// thread.
using MessageTranslator = const char* (*)(const char* english);

void setMessageTranslator(MessageTranslator translator);

// `english` translated.
const char* message(const char* english);

// Marks `english` for xgettext where it is translated later, by message().
constexpr const char* N_(const char* english)
{
    return english;
}

// `pattern` translated, with %1 to %9 replaced by `arguments` in order of
// their number (a translation may move them); "%%" is a "%".
std::string fillMessage(const char* pattern, std::initializer_list<std::string_view> arguments);

// `n` in digits grouped by threes with commas, as people read counts: 1,234,567.
std::string groupedDigits(std::uint64_t n);

} // namespace korvane
