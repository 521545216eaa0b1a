#pragma once

// The SQL of the SQLite store's tables, version by version: what opening a
// catalogue runs, and what tests make catalogues of older versions with.

#include <cstdint>
#include <span>

namespace korvane::sqlite {

// The SQL that brings a catalogue of `version` to the next one (from 0:
// makes one of version 1); null past the current version. It calls
// korvane_file_key(place, name), fileNameKey(place, name) of name_key.h.
const char* migrationFrom(std::int64_t version);
// The tables and indexes a catalogue of `version` holds: none for a
// version this korvane does not know.
std::span<const char* const> objectsOf(std::int64_t version);

} // namespace korvane::sqlite
