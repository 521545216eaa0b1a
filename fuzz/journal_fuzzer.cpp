// korvane-fuzz-journal: reads arbitrary bytes as a journal of putting back
// and aborts when a promise of the reader is broken. Undo believes only what
// the reader gives it, so the reader must take nothing the writer would not
// write.
//
// The promises:
//  - strict and lossless: a journal read, written back record by record
//    under its header, is the input byte for byte (but a last line without
//    its end, which is left out as a write cut short);
//  - each line the reader takes alone is the line formatRecord writes;
//  - fed in pieces of any size (the input's first byte chooses), the reader
//    gives the same journal, or the same error, as fed whole.

#include "restore/journal_format.h"
#include "restore/journal_reader.h"

#include "promise.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

using korvane::Journal;
using korvane::JournalParser;

std::optional<Journal> parse(std::string_view bytes, std::size_t piece, std::string& error)
{
    JournalParser parser;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        if (!parser.feed(bytes.substr(at, piece)))
            break;
    return parser.finish(error);
}

std::string written(const Journal& journal)
{
    std::string out(journal.version == 1 ? korvane::kJournalHeaderV1 : korvane::kJournalHeader);
    out += '\n';
    for (const korvane::JournalRecord& r : journal.records)
        out += korvane::formatRecord(r);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<Journal> whole = parse(bytes, bytes.size() + 1, error);
    const std::size_t piece = size > 0 ? data[0] % 17 + 1 : 1;
    std::string pieceError;
    const std::optional<Journal> pieces = parse(bytes, piece, pieceError);
    PROMISE(whole.has_value() == pieces.has_value());
    PROMISE(error == pieceError);
    if (whole) {
        PROMISE(pieces->records == whole->records && pieces->cutShort == whole->cutShort);
        const std::string_view complete = bytes.substr(0, bytes.rfind('\n') + 1);
        PROMISE(whole->cutShort == (complete.size() != bytes.size()));
        PROMISE(written(*whole) == complete);
    }
    // Line by line, whatever the journal around them.
    for (const int version : {1, 2}) {
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
            const std::string_view line = bytes.substr(at, end - at);
            if (const std::optional<korvane::JournalRecord> r = korvane::parseRecord(line, version))
                PROMISE(korvane::formatRecord(*r) == std::string(line) + "\n");
            at = end + 1;
        }
    }
    return 0;
}
