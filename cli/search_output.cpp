#include "cli/search_output.h"

#include "cli/json_writer.h"
#include "text/unicode_text.h"

#include <cstring>

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

void writeCandidates(JsonWriter& json, const SearchResults& results, const MissingMatch& match)
{
    json.key("candidates").beginArray();
    for (const Candidate& candidate : match.candidates) {
        const std::string path = results.index().filePath(candidate.file);
        const std::string text = toValidUtf8(path);
        json.beginObject().key("path").string(text);
        if (text != path)
            json.key("path_bytes").string(escapeStoredBytes(path));
        json.key("match").string(describe(candidate.kind));
        json.key("shared_folders").number(candidate.sharedFolders);
        json.endObject();
    }
    json.endArray();
    json.key("more_candidates").number(match.candidateCount - match.candidates.size());
}

void writeProject(JsonWriter& json, const ProjectFacts& project)
{
    const ScanResult& scan = project.scan;
    json.key("project").beginObject();
    json.key("file").string(toValidUtf8(project.file));
    json.key("version").number(scan.version);
    json.key("size").number(project.size);
    json.key("damaged").boolean(scan.damaged);
    json.key("damage");
    if (!scan.damaged) {
        json.null();
    } else {
        json.beginObject();
        json.key("section").string(scan.endedAt.section);
        json.key("entry").number(scan.endedAt.entry);
        json.key("count").number(scan.endedAt.count);
        json.key("read_error");
        if (scan.readError != 0)
            json.string(std::strerror(scan.readError));
        else
            json.null();
        json.key("message").string(describeDamage(scan));
        json.endObject();
    }
    json.endObject();
}

void writeSections(JsonWriter& json, const std::vector<MissingSection>& sections, const SearchResults& results)
{
    json.key("sections").beginArray();
    for (const MissingSection& section : sections) {
        json.beginObject().key("name").string(section.name).key("missing").beginArray();
        for (const std::string& stored : section.stored) {
            const MissingMatch* match = results.find(stored);
            json.beginObject();
            json.key("stored").string(escapeStoredBytes(stored));
            json.key("decoded").string(match ? match->file.decoded : toValidUtf8(stored));
            const bool searched = match && match->path.notSearched.empty();
            json.key("searched").boolean(searched);
            json.key("not_searched");
            if (searched)
                json.null();
            else
                json.string(match ? match->path.notSearched : "not among the files searched for");
            if (match) {
                writeCandidates(json, results, *match);
            } else {
                json.key("candidates").beginArray().endArray();
                json.key("more_candidates").number(0);
            }
            json.endObject();
        }
        json.endArray().endObject();
    }
    json.endArray();
}

void writeSearch(JsonWriter& json, const FileIndex& index)
{
    json.key("search").beginObject();
    json.key("folders").beginArray();
    for (const std::string& root : index.roots())
        json.string(toValidUtf8(root));
    json.endArray();
    json.key("folders_read").number(index.foldersRead());
    json.key("files").number(index.fileCount());
    json.key("problems").beginArray();
    for (const WalkProblem& problem : index.problems()) {
        json.beginObject();
        json.key("path").string(toValidUtf8(problem.path));
        json.key("error").string(std::strerror(problem.error));
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void writeMappings(JsonWriter& json, const SearchResults& results)
{
    json.key("mappings").beginArray();
    for (const MappingSuggestion& mapping : results.mappings()) {
        json.beginObject();
        json.key("root").string(mapping.root);
        json.key("prefix").string(mapping.storedPrefix);
        json.key("whole_root").boolean(mapping.wholeRoot());
        json.key("folder").string(toValidUtf8(mapping.localFolder));
        json.key("explains").number(mapping.explains.size());
        json.key("of").number(mapping.missingOnRoot);
        json.key("files").beginArray();
        for (const std::size_t m : mapping.explains)
            json.string(results.matches()[m].file.decoded);
        json.endArray();
        json.key("argument").string(mapArgument(mapping));
        json.key("config_line").string(configLine(mapping));
        json.endObject();
    }
    json.endArray();
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
        out += shownPath(match, options);
        out += end;
        const std::size_t shown = std::min(options.maxCandidates, match.candidates.size());
        for (std::size_t k = 0; k < shown; ++k) {
            const Candidate& candidate = match.candidates[k];
            out += "    ";
            out += results.index().filePath(candidate.file);
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
        out += mapArgument(mapping);
        out += end;
        out += "    ";
        out += configLine(mapping);
        out += end;
        out += "    explains " + std::to_string(mapping.explains.size()) + " of " +
               plural(mapping.missingOnRoot, "missing file", "missing files") + " on " + mapping.root;
        out += end;
    }
    return out;
}

std::string renderJson(const ProjectFacts& project, const std::vector<MissingSection>& sections,
                       const SearchResults& results)
{
    JsonWriter json;
    json.beginObject();
    json.key("format").number(1);
    json.key("generator").string("korvane " KORVANE_VERSION);
    writeProject(json, project);
    writeSections(json, sections, results);
    writeSearch(json, results.index());
    writeMappings(json, results);
    json.endObject();
    return json.finish();
}

std::string escapeStoredBytes(std::string_view stored)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(stored.size());
    for (const char c : stored) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte <= 0x7E && byte != '%') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

} // namespace korvane
