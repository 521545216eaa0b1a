#include "cli/json_document.h"

#include "cli/catalogue_output.h"
#include "cli/memory_output.h"
#include "cli/json_writer.h"
#include "cli/restore_output.h"
#include "cli/search_output.h"
#include "text/ascii.h"
#include "text/unicode_text.h"
#include "text/system_error.h"

#include <algorithm>

namespace korvane {

namespace {

std::string_view describe(MatchKind kind)
{
    switch (kind) {
    case MatchKind::SameName:
        return "same-name";
    case MatchKind::OtherExtension:
        return "other-extension";
    case MatchKind::SameContent:
        break;
    }
    return "same-content";
}

void pathOrNull(JsonWriter& json, std::string_view key, const std::string& path)
{
    if (path.empty())
        json.nullField(key);
    else
        json.field(key, path);
}

// A path as its bytes, percent-escaped (see escapeStoredBytes), so that
// names that are not UTF-8 come through exactly; null when there is none.
void escapedOrNull(JsonWriter& json, std::string_view key, const std::string& path)
{
    if (path.empty())
        json.nullField(key);
    else
        json.field(key, escapeStoredBytes(path));
}

void writeProject(JsonWriter& json, const ProjectFacts& project)
{
    const ScanResult& scan = project.scan;
    json.key("project").beginObject();
    json.field("file", project.file).field("version", scan.version).field("size", project.size);
    json.field("damaged", scan.damaged);
    if (!scan.damaged) {
        json.nullField("damage").endObject();
        return;
    }
    json.key("damage").beginObject();
    json.field("section", scan.endedAt.section).field("entry", scan.endedAt.entry).field("count", scan.endedAt.count);
    if (scan.readError != 0)
        json.field("read_error", systemErrorText(scan.readError));
    else
        json.nullField("read_error");
    json.field("message", describeDamage(scan)).endObject().endObject();
}

void writeCandidates(JsonWriter& json, const SearchResults& results, const MissingMatch& match,
                     std::size_t maxCandidates)
{
    json.key("candidates").beginArray();
    const std::size_t shown = std::min(maxCandidates, match.candidates.size());
    for (std::size_t k = 0; k < shown; ++k) {
        const Candidate& candidate = match.candidates[k];
        const std::string path = results.index().filePath(candidate.file);
        json.beginObject().field("path", path);
        if (toValidUtf8(path) != path)
            json.field("path_bytes", escapeStoredBytes(path));
        json.field("match", describe(candidate.kind)).field("shared_folders", candidate.sharedFolders).endObject();
    }
    json.endArray();
}

// Where the catalogue last saw a missing file on disks not connected now.
void writeElsewhere(JsonWriter& json, const CatalogueAnswer* answer)
{
    json.key("elsewhere").beginArray();
    if (answer) {
        for (const ElsewhereSighting& s : answer->notConnected) {
            json.beginObject().field("volume", s.volume).field("label", s.label).field("path", s.path);
            if (toValidUtf8(s.path) != s.path)
                json.field("path_bytes", escapeStoredBytes(s.path));
            json.field("last_seen", dayOf(s.lastSeen)).field("connected", false).field("evidence", s.evidence);
            json.endObject();
        }
    }
    json.endArray().field("elsewhere_ambiguous", answer && answer->ambiguous);
}

void writeMissing(JsonWriter& json, const MissingPath& path, const std::vector<MissingSection>& reportSections,
                  const SearchResults& results, std::size_t maxCandidates, const CatalogueAnswers* catalogue)
{
    const std::string_view stored = path.stored;
    const MissingMatch* match = results.find(stored);
    json.beginObject();
    json.field("stored", escapeStoredBytes(stored)).field("decoded", match ? std::string_view(match->file.decoded) : stored);
    json.key("sections").beginArray();
    for (const std::uint32_t section : path.sections)
        json.value(reportSections[section].name);
    json.endArray().field("references", path.references);
    if (match && !match->file.codePage.empty())
        json.field("code_page", match->file.codePage);
    const bool searched = match && match->path.notSearched.empty();
    json.field("searched", searched);
    if (searched)
        json.nullField("not_searched");
    else
        json.field("not_searched", match ? std::string_view(match->path.notSearched)
                                         : std::string_view("not among the files searched for"));
    if (match)
        writeCandidates(json, results, *match, maxCandidates);
    else
        json.key("candidates").beginArray().endArray();
    const std::size_t shown = match ? std::min(maxCandidates, match->candidates.size()) : 0;
    json.field("more_candidates", match ? match->candidateCount - shown : std::size_t{0});
    if (catalogue)
        writeElsewhere(json, catalogue->find(stored));
    json.endObject();
}

// The sections with how many references to missing files each holds, and
// every distinct missing path once, in the order the report first lists it.
void writeMissingPaths(JsonWriter& json, const MissingReport& report, const SearchResults& results,
                       std::size_t maxCandidates, const CatalogueAnswers* catalogue)
{
    json.key("sections").beginArray();
    for (const MissingSection& section : report.sections())
        json.beginObject().field("name", section.name).field("references", section.references).endObject();
    json.endArray();
    json.key("missing").beginArray();
    for (const MissingPath& path : report.paths())
        writeMissing(json, path, report.sections(), results, maxCandidates, catalogue);
    json.endArray();
}

void writeSearch(JsonWriter& json, const FileIndex& index)
{
    json.key("search").beginObject();
    json.key("folders").beginArray();
    for (const std::string& root : index.roots())
        json.value(root);
    json.endArray().field("folders_read", index.foldersRead()).field("files", index.fileCount());
    json.key("problems").beginArray();
    for (const WalkProblem& problem : index.problems())
        json.beginObject().field("path", problem.path).field("error", systemErrorText(problem.error)).endObject();
    json.endArray().endObject();
}

void writeMappings(JsonWriter& json, const SearchResults& results)
{
    json.key("mappings").beginArray();
    for (const MappingSuggestion& mapping : results.mappings()) {
        json.beginObject();
        json.field("root", mapping.root).field("prefix", mapping.storedPrefix);
        json.field("whole_root", mapping.wholeRoot()).field("folder", mapping.localFolder);
        json.field("explains", mapping.explains.size()).field("of", mapping.missingOnRoot);
        json.key("files").beginArray();
        for (const std::size_t m : mapping.explains)
            json.value(results.matches()[m].file.decoded);
        json.endArray().field("argument", mappingArgument(mapping));
        if (mappingShownPlainly(mapping))
            json.field("config_line", configLine(mapping));
        else
            json.nullField("config_line");
        json.endObject();
    }
    json.endArray();
}

void writeRestoreStep(JsonWriter& json, const RestoreStep& step, const StepResult* applied)
{
    json.beginObject();
    json.field("stored", escapeStoredBytes(step.stored)).field("decoded", step.decoded);
    json.field("action", step.putBack ? "put-back" : "left");
    if (step.putBack)
        json.nullField("reason").nullField("reason_text");
    else
        json.field("reason", leftReasonName(step.reason)).field("reason_text", describeLeft(step));
    escapedOrNull(json, "source", step.source);
    escapedOrNull(json, "destination", step.destination);
    json.key("sizes").beginArray();
    for (const std::uint64_t size : step.differentSizes)
        json.value(size);
    json.endArray();
    if (step.putBack)
        json.field("identical_copies", step.identicalCopies);
    else
        json.nullField("identical_copies");
    json.key("choices").beginArray();
    for (const Choice& choice : step.choices) {
        json.beginObject().field("path", escapeStoredBytes(choice.path)).field("size", choice.size);
        json.field("modified", timeText(choice.mtime)).endObject();
    }
    json.endArray();
    if (applied) {
        json.field("outcome", outcomeName(applied->outcome));
        pathOrNull(json, "error", applied->error);
    }
    json.endObject();
}

void writeRestore(JsonWriter& json, const RestoreFacts& restore)
{
    const RestorePlan& plan = *restore.plan;
    const ApplyResult* applied = restore.applied;
    json.key("restore").beginObject().field("applied", applied != nullptr);
    if (applied)
        pathOrNull(json, "journal", applied->journal);
    else
        json.nullField("journal");
    json.field("put_back", plan.putBackCount());
    json.key("steps").beginArray();
    for (std::size_t k = 0; k < plan.steps.size(); ++k)
        writeRestoreStep(json, plan.steps[k], applied ? &applied->steps[k] : nullptr);
    json.endArray();
    if (applied)
        json.field("linked", applied->linked).field("copied", applied->copied).field("bytes_copied", applied->bytesCopied);
    json.endObject();
}

} // namespace

std::string renderJson(const ProjectFacts& project, const MissingReport& report, const SearchResults& results,
                       std::size_t maxCandidates, std::optional<int> status, const RestoreFacts* restore,
                       const CatalogueAnswers* catalogue, const std::vector<ChangedSinceSeen>* changed)
{
    JsonWriter json;
    json.beginObject().field("format", 3).field("generator", "korvane " KORVANE_VERSION);
    writeProject(json, project);
    writeMissingPaths(json, report, results, maxCandidates, catalogue);
    writeSearch(json, results.index());
    writeMappings(json, results);
    if (status)
        json.field("status", *status);
    if (restore)
        writeRestore(json, *restore);
    if (changed)
        writeChanged(json, *changed);
    json.endObject();
    return json.take() + "\n";
}

std::string renderUnopenedJson(std::string_view file, std::string_view error)
{
    JsonWriter json;
    json.beginObject().field("format", 3).field("generator", "korvane " KORVANE_VERSION);
    json.key("project").beginObject().field("file", file).field("error", error).endObject();
    json.field("status", 2).endObject();
    return json.take() + "\n";
}

std::string escapeStoredBytes(std::string_view stored)
{
    return percentEscaped(stored, false);
}

} // namespace korvane
