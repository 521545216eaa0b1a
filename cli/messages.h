#pragma once

// korvane-scan's words for people (its help, its errors and warnings) in the
// language of the locale, through gettext's domain "korvane": the catalogue
// <executable>/../share/locale/<language>/LC_MESSAGES/korvane.mo. Without a
// catalogue, and under C or an English locale, every text is the English
// one it is written in.
//
// Only the messages are translated: what is data (the report, JSON, the
// lines of --explain, --search and --restore that scripts read) is not, and
// the locale is put in force for messages and characters alone, so numbers
// and the core's handling of bytes stay those of the C locale.

#include "text/message.h"

#include <string>

namespace korvane {

// Reads the locale from the environment and opens the catalogue; once, at
// the start of main().
void setUpMessages();

// `text` translated; marked for xgettext by the keyword _ (N_ where it is
// translated later).
const char* _(const char* text);

// printf's formatting of `pattern`, translated by the caller.
std::string formatted(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace korvane
