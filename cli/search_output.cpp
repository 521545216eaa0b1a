#include "cli/search_output.h"

#include "cli/restore_output.h"
#include "text/ascii.h"
#include "text/terminal_quote.h"
#include "text/unicode_text.h"
#include "text/system_error.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace korvane {

namespace {

std::string plural(std::size_t n, std::string_view one, std::string_view many)
{
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string_view shownPath(const MissingMatch& match, const TextOptions& options)
{
    return options.decodedPaths ? std::string_view(match.file.decoded) : std::string_view(match.file.stored);
}

std::string_view describe(MatchKind kind)
{
    return kind == MatchKind::SameName ? "same-name" : "other-extension";
}

// Whether a mapping can be shown as it is: as a --map argument quoted only
// as the shell needs, and as a line of the configuration file, which can
// hold no line break and is shown raw.
bool showsPlainly(const MappingSuggestion& mapping)
{
    return !needsQuoting(mapping.storedPrefix) && !needsQuoting(mapping.localFolder);
}

// The --map argument of `mapping`, in the $'...' form when a name in it
// needs quoting; either way it can be pasted into a shell.
std::string argumentOf(const MappingSuggestion& mapping)
{
    return showsPlainly(mapping) ? mapArgument(mapping)
                                 : "--map " + quoteName(mapping.storedPrefix + "=" + mapping.localFolder);
}

using Json = nlohmann::ordered_json;

// A JSON string of `bytes`: each byte that starts no valid character becomes
// U+FFFD, so the document is valid whatever names it holds.
Json text(std::string_view bytes)
{
    return toValidUtf8(bytes);
}

Json candidatesOf(const SearchResults& results, const MissingMatch& match, std::size_t maxCandidates)
{
    Json candidates = Json::array();
    const std::size_t shown = std::min(maxCandidates, match.candidates.size());
    for (std::size_t k = 0; k < shown; ++k) {
        const Candidate& candidate = match.candidates[k];
        const std::string path = results.index().filePath(candidate.file);
        const std::string valid = toValidUtf8(path);
        Json& entry = candidates.emplace_back(Json::object());
        entry["path"] = valid;
        if (valid != path)
            entry["path_bytes"] = escapeStoredBytes(path);
        entry["match"] = text(describe(candidate.kind));
        entry["shared_folders"] = candidate.sharedFolders;
    }
    return candidates;
}

Json projectOf(const ProjectFacts& project)
{
    const ScanResult& scan = project.scan;
    Json json = Json::object();
    json["file"] = text(project.file);
    json["version"] = scan.version;
    json["size"] = project.size;
    json["damaged"] = scan.damaged;
    json["damage"] = nullptr;
    if (scan.damaged) {
        Json& damage = json["damage"] = Json::object();
        damage["section"] = text(scan.endedAt.section);
        damage["entry"] = scan.endedAt.entry;
        damage["count"] = scan.endedAt.count;
        damage["read_error"] = scan.readError != 0 ? text(systemErrorText(scan.readError)) : Json(nullptr);
        damage["message"] = text(describeDamage(scan));
    }
    return json;
}

Json missingOf(const MissingPath& path, const std::vector<MissingSection>& reportSections,
               const SearchResults& results, std::size_t maxCandidates)
{
    const std::string_view stored = path.stored;
    const MissingMatch* match = results.find(stored);
    Json json = Json::object();
    json["stored"] = escapeStoredBytes(stored);
    json["decoded"] = text(match ? std::string_view(match->file.decoded) : stored);
    Json& sections = json["sections"] = Json::array();
    for (const std::uint32_t section : path.sections)
        sections.push_back(text(reportSections[section].name));
    json["references"] = path.references;
    if (match && !match->file.codePage.empty())
        json["code_page"] = text(match->file.codePage);
    const bool searched = match && match->path.notSearched.empty();
    json["searched"] = searched;
    json["not_searched"] = searched  ? Json(nullptr)
                           : match ? text(match->path.notSearched)
                                   : Json("not among the files searched for");
    json["candidates"] = match ? candidatesOf(results, *match, maxCandidates) : Json::array();
    const std::size_t shown = match ? std::min(maxCandidates, match->candidates.size()) : 0;
    json["more_candidates"] = match ? match->candidateCount - shown : std::size_t{0};
    return json;
}

// The sections with how many references to missing files each holds, and
// every distinct missing path once, in the order the report first lists it.
void missingPathsOf(const MissingReport& report, const SearchResults& results, std::size_t maxCandidates,
                    Json& sectionsJson, Json& missingJson)
{
    sectionsJson = Json::array();
    for (const MissingSection& section : report.sections()) {
        Json& entry = sectionsJson.emplace_back(Json::object());
        entry["name"] = text(section.name);
        entry["references"] = section.references;
    }
    missingJson = Json::array();
    for (const MissingPath& path : report.paths())
        missingJson.push_back(missingOf(path, report.sections(), results, maxCandidates));
}

Json searchOf(const FileIndex& index)
{
    Json json = Json::object();
    Json& folders = json["folders"] = Json::array();
    for (const std::string& root : index.roots())
        folders.push_back(text(root));
    json["folders_read"] = index.foldersRead();
    json["files"] = index.fileCount();
    Json& problems = json["problems"] = Json::array();
    for (const WalkProblem& problem : index.problems())
        problems.push_back(Json{{"path", text(problem.path)}, {"error", text(systemErrorText(problem.error))}});
    return json;
}

Json mappingsOf(const SearchResults& results)
{
    Json json = Json::array();
    for (const MappingSuggestion& mapping : results.mappings()) {
        Json& entry = json.emplace_back(Json::object());
        entry["root"] = text(mapping.root);
        entry["prefix"] = text(mapping.storedPrefix);
        entry["whole_root"] = mapping.wholeRoot();
        entry["folder"] = text(mapping.localFolder);
        entry["explains"] = mapping.explains.size();
        entry["of"] = mapping.missingOnRoot;
        Json& files = entry["files"] = Json::array();
        for (const std::size_t m : mapping.explains)
            files.push_back(text(results.matches()[m].file.decoded));
        entry["argument"] = text(argumentOf(mapping));
        entry["config_line"] = showsPlainly(mapping) ? text(configLine(mapping)) : Json(nullptr);
    }
    return json;
}

Json pathOrNull(const std::string& path)
{
    return path.empty() ? Json(nullptr) : text(path);
}

Json restoreOf(const RestoreFacts& restore)
{
    const RestorePlan& plan = *restore.plan;
    const ApplyResult* applied = restore.applied;
    Json json = Json::object();
    json["applied"] = applied != nullptr;
    json["journal"] = applied ? pathOrNull(applied->journal) : Json(nullptr);
    json["put_back"] = plan.putBackCount();
    Json& steps = json["steps"] = Json::array();
    for (std::size_t k = 0; k < plan.steps.size(); ++k) {
        const RestoreStep& step = plan.steps[k];
        Json& entry = steps.emplace_back(Json::object());
        entry["stored"] = escapeStoredBytes(step.stored);
        entry["decoded"] = text(step.decoded);
        entry["action"] = step.putBack ? "put-back" : "left";
        entry["reason"] = step.putBack ? Json(nullptr) : text(leftReasonName(step.reason));
        entry["reason_text"] = step.putBack ? Json(nullptr) : text(describeLeft(step));
        entry["source"] = pathOrNull(step.source);
        entry["destination"] = pathOrNull(step.destination);
        entry["sizes"] = step.differentSizes;
        if (applied) {
            entry["outcome"] = text(outcomeName(applied->steps[k].outcome));
            entry["error"] = pathOrNull(applied->steps[k].error);
        }
    }
    if (applied) {
        json["linked"] = applied->linked;
        json["copied"] = applied->copied;
        json["bytes_copied"] = applied->bytesCopied;
    }
    return json;
}

} // namespace

std::string renderFoundElsewhere(const SearchResults& results, const TextOptions& options)
{
    const std::string_view end = options.lineEnd;
    std::string out = "Found elsewhere";
    out += end;
    const std::vector<MissingMatch>& matches = results.matches();
    for (const MissingMatch& match : matches) {
        if (!match.found())
            continue;
        out += quoteName(shownPath(match, options));
        out += end;
        const std::size_t shown = std::min(options.maxCandidates, match.candidates.size());
        for (std::size_t k = 0; k < shown; ++k) {
            const Candidate& candidate = match.candidates[k];
            out += "    ";
            out += quoteName(results.index().filePath(candidate.file));
            if (candidate.kind == MatchKind::OtherExtension)
                out += " (other extension)";
            out += end;
        }
        if (match.candidateCount > shown)
            out += "    ... and " + std::to_string(match.candidateCount - shown) + " more" + std::string(end);
    }
    const std::size_t found = results.foundCount();
    if (matches.empty())
        out += "Nothing is missing.";
    else if (found == 0)
        out += matches.size() == 1 ? std::string("The missing file was not found.")
                                   : "None of the " + std::to_string(matches.size()) + " missing files was found.";
    else
        out += "Found " + std::to_string(found) + " of " + plural(matches.size(), "missing file.", "missing files.");
    out += end;
    return out;
}

std::string renderSuggestedMappings(const SearchResults& results, const TextOptions& options)
{
    const std::string_view end = options.lineEnd;
    std::string out = "Suggested mappings";
    out += end;
    if (results.mappings().empty()) {
        out += "None: no missing file of a drive or share was found under its own name.";
        out += end;
    }
    for (const MappingSuggestion& mapping : results.mappings()) {
        out += argumentOf(mapping);
        out += end;
        out += "    ";
        out += showsPlainly(mapping) ? configLine(mapping)
                                     : std::string("(no configuration-file line: a name in it needs quoting)");
        out += end;
        out += "    explains " + std::to_string(mapping.explains.size()) + " of " +
               plural(mapping.missingOnRoot, "missing file", "missing files") + " on " + quoteName(mapping.root);
        out += end;
    }
    return out;
}

std::string renderJson(const ProjectFacts& project, const MissingReport& report, const SearchResults& results,
                       std::size_t maxCandidates, std::optional<int> status, const RestoreFacts* restore)
{
    Json json = Json::object();
    json["format"] = 2;
    json["generator"] = "korvane " KORVANE_VERSION;
    json["project"] = projectOf(project);
    Json sectionsJson;
    Json missingJson;
    missingPathsOf(report, results, maxCandidates, sectionsJson, missingJson);
    json["sections"] = std::move(sectionsJson);
    json["missing"] = std::move(missingJson);
    json["search"] = searchOf(results.index());
    json["mappings"] = mappingsOf(results);
    if (status)
        json["status"] = *status;
    if (restore)
        json["restore"] = restoreOf(*restore);
    // On one line, every character past ASCII escaped as \uXXXX (a surrogate
    // pair above U+FFFF). Every string went through toValidUtf8 or
    // escapeStoredBytes; should one ever not, its bad bytes become U+FFFD
    // rather than an exception.
    return json.dump(-1, ' ', true, Json::error_handler_t::replace) + "\n";
}

std::string renderUnopenedJson(std::string_view file, std::string_view error)
{
    Json json = Json::object();
    json["format"] = 2;
    json["generator"] = "korvane " KORVANE_VERSION;
    Json& project = json["project"] = Json::object();
    project["file"] = text(file);
    project["error"] = text(error);
    json["status"] = 2;
    return json.dump(-1, ' ', true, Json::error_handler_t::replace) + "\n";
}

std::string escapeStoredBytes(std::string_view stored)
{
    return percentEscaped(stored, false);
}

} // namespace korvane
