#include "cli/memory_output.h"

#include "cli/json_document.h"
#include "cli/readable_name.h"
#include "text/terminal_quote.h"
#include "text/unicode_text.h"

namespace korvane {

std::string renderChanged(const std::vector<ChangedSinceSeen>& changed, const TextOptions& options)
{
    const std::string_view end = options.lineEnd;
    std::string out = "Changed since last seen";
    out += end;
    if (changed.empty()) {
        out += "None of the files found changed since it was last seen.";
        out += end;
    }
    for (const ChangedSinceSeen& file : changed) {
        out += quoteName(readableName(file.stored, file.decoded));
        out += end;
        out += "    ";
        out += file.sameSize() ? std::string("same size, other content")
                               : "size " + std::to_string(file.size) + ", was " + std::to_string(file.wasSize);
        out += end;
    }
    return out;
}

void writeChanged(JsonWriter& json, const std::vector<ChangedSinceSeen>& changed)
{
    json.key("changed").beginArray();
    for (const ChangedSinceSeen& file : changed) {
        json.beginObject()
            .field("stored", escapeStoredBytes(file.stored))
            .field("decoded", file.decoded)
            .field("path", file.path);
        if (toValidUtf8(file.path) != file.path)
            json.field("path_bytes", escapeStoredBytes(file.path));
        json.field("size", file.size)
            .field("was_size", file.wasSize)
            .field("reason", file.sameSize() ? "content" : "size")
            .endObject();
    }
    json.endArray();
}

} // namespace korvane
