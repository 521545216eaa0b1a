#pragma once

#include "report/missing_report.h"
#include "restore/restore_apply.h"
#include "restore/restore_plan.h"
#include "scanner/scan.h"
#include "run/catalogue_lookup.h"
#include "run/remembering.h"
#include "search/missing_search.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// What the JSON document says about the project itself.
struct ProjectFacts {
    std::string file;       // the path given
    std::uint64_t size = 0; // in bytes
    ScanResult scan;
};

// What --restore planned and, after --apply, did.
struct RestoreFacts {
    const RestorePlan* plan = nullptr;
    const ApplyResult* applied = nullptr; // null: only planned
};

// The whole run as one JSON document, bounded by the distinct missing paths
// and `maxCandidates`, however often each path is referred to:
//
//   format           2 (1 listed every reference with its candidates); a
//                    field may be added, none is removed or changed
//   generator        "korvane VERSION"
//   project          file, version (of the layout), size (bytes), damaged,
//                    damage: null, or section, entry, count, read_error
//                    (text or null) and message
//   sections[]       name, references (entries that name a missing file)
//   missing[]        each distinct missing path once, in the order the
//                    report first lists it: stored (escaped by
//                    escapeStoredBytes), decoded, sections[] (the names of
//                    the sections that refer to it, in report order),
//                    references (how many entries), searched, not_searched
//                    (the reason, or null), candidates[] (at most
//                    maxCandidates, best first: path, path_bytes when the
//                    path is not valid UTF-8, match: "same-name",
//                    "other-extension" or "same-content" (another name,
//                    the content remembered of the stored name),
//                    shared_folders), more_candidates,
//                    and when the catalogue was consulted elsewhere[] (on
//                    disks not connected, best first: volume (its key),
//                    label, path (from the volume's root), path_bytes when
//                    not valid UTF-8, last_seen (YYYY-MM-DD), connected
//                    (false), evidence: "same-content", "same-size" or
//                    "same-folders") and elsewhere_ambiguous (different
//                    files that nothing tells apart: none is chosen)
//   search           folders (the roots, absolute), folders_read, files,
//                    problems[] (path, error)
//   mappings[]       root, prefix, whole_root, folder, explains, of (missing
//                    files on the root), files[] (the decoded paths it
//                    explains), argument (for korvane-scan), config_line
//                    (null when a name in the mapping needs quoting)
//   status           in a run of several projects only: the status a run
//                    of this project alone would exit with (0, 1 or 3)
//   changed[]        with --changed only: the files found that are not
//                    what was remembered of them: stored, decoded, path,
//                    path_bytes when not valid UTF-8, size, was_size,
//                    reason ("size" or "content")
//   restore          with --restore only: applied (bool), journal (path or
//                    null), put_back (files the plan puts back), steps[]
//                    (one a missing file searched for: stored, decoded,
//                    action "put-back" or "left", reason (null, or
//                    not-found, other-extension, different-files,
//                    no-mapping, not-writable, not-searched, already-there),
//                    reason_text, source, destination (null when none),
//                    sizes[] (different-files: one a different file), and
//                    after --apply outcome (left, linked, copied, appeared,
//                    failed, stopped) and error (null or why)); after
//                    --apply also linked, copied, bytes_copied
//
// On one line, ended by a line feed; every character past ASCII escaped
// (see JsonWriter), every name valid UTF-8 (a byte that is not, U+FFFD).
std::string renderJson(const ProjectFacts& project, const MissingReport& report, const SearchResults& results,
                       std::size_t maxCandidates = 5, std::optional<int> status = std::nullopt,
                       const RestoreFacts* restore = nullptr, const CatalogueAnswers* catalogue = nullptr,
                       const std::vector<ChangedSinceSeen>* changed = nullptr);

// The document of a project that could not be opened, in a run of several:
// format, generator, project (file, and error: why it could not be opened)
// and status (2).
std::string renderUnopenedJson(std::string_view file, std::string_view error);

// Stored bytes as printable ASCII that says exactly what they were: bytes
// from 0x20 to 0x7E as they are, except `%`, and every other byte as `%`
// and two upper-case hex digits ("Caf%E9.avi" for Windows-1252 "Café.avi").
std::string escapeStoredBytes(std::string_view stored);

} // namespace korvane
