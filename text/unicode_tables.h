#pragma once

// The character data of file-name matching, generated from the Unicode
// Character Database by search/make_unicode_tables.py into
// unicode_tables.cpp. Every table is sorted by its first field. Hangul
// syllables are left out: they decompose and compose by arithmetic.

#include <cstdint>
#include <span>

namespace korvane::unicode {

// Characters first..last have canonical combining class `value` (never 0).
struct CombiningClassRange {
    char32_t first;
    char32_t last;
    std::uint8_t value;
};

// The full canonical decomposition of `code`: `length` characters of the
// pool from `offset`, already decomposed to the end.
struct Decomposition {
    char32_t code;
    std::uint16_t offset;
    std::uint8_t length;
};

// `first` followed by `second` composes to `composite` (primary composites
// only: exclusions, singletons and non-starter decompositions are left out).
struct Composition {
    char32_t first;
    char32_t second;
    char32_t composite;
};

// Simple case folding: every `stride`-th character from first to last folds
// to itself plus `delta`.
struct FoldRun {
    char32_t first;
    char32_t last;
    std::int32_t delta;
    std::uint8_t stride;
};

extern const char* const kUnicodeVersion;

std::span<const CombiningClassRange> combiningClasses();
std::span<const Decomposition> decompositions();
std::span<const char32_t> decompositionPool();
std::span<const Composition> compositions();
std::span<const FoldRun> foldRuns();

} // namespace korvane::unicode
