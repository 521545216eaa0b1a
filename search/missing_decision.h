#pragma once

#include "search/file_index.h"
#include "search/missing_match.h"

#include <cstddef>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// What a scan remembered of the file a stored name referred to: its size
// and fingerprint (fs/'s fingerprintOpenFile). A file of the same size and
// fingerprint is that file, under whatever name.
struct RememberedContent {
    std::uint64_t size = 0;
    std::array<std::uint8_t, 32> fingerprint{};
};

// What is known of the content of files of the index: read once each, and
// only as far as a question needs (sizes, then fingerprints of their ends,
// then whole digests).
class ContentOracle {
public:
    // `contentOf`: what a file holds, by its path, where it is not to be
    // read from the disk (a tree in memory); nothing for a file that cannot
    // be read.
    using ContentOf = std::function<std::optional<std::string>(const std::string& path)>;
    explicit ContentOracle(const FileIndex& index, ContentOf contentOf = {})
        : index_(index), contentOf_(std::move(contentOf))
    {
    }

    // The size of a file; nothing when it cannot be read.
    std::optional<std::uint64_t> size(FileId file);
    // Whether the file holds what was remembered: the same size (not 0) and
    // fingerprint (with `contentOf`, the digest of the whole content).
    bool holds(FileId file, const RememberedContent& remembered);
    // The files in groups of the same content, in the order given (a file
    // that cannot be read is a group of its own).
    std::vector<std::vector<FileId>> groups(const std::vector<FileId>& files);

private:
    struct Known {
        bool looked = false;
        bool readable = false;
        std::uint64_t size = 0;
        std::optional<std::array<std::uint8_t, 32>> fingerprint;
        std::optional<std::array<std::uint8_t, 32>> digest;
    };
    Known& look(FileId file);
    const std::array<std::uint8_t, 32>* piece(FileId file, bool whole);

    const FileIndex& index_;
    ContentOf contentOf_;
    std::unordered_map<FileId, Known> known_;
};

// What the search decides for one missing file.
struct Decision {
    enum class Kind : std::uint8_t {
        NotFound,   // no file of its name (or only of another extension)
        Chosen,     // `chosen` it is
        Ambiguous,  // different files that nothing tells apart: `contenders`
        OtherShoot, // files of its name only under other dates than its own
    };
    Kind kind = Kind::NotFound;
    FileId chosen = 0;
    // Ambiguous: one file for each content, best first.
    std::vector<FileId> contenders;
    // Chosen: files of its content among those the evidence does not tell
    // apart, itself included.
    std::size_t identical = 1;
    // Chosen because its folder holds the files of the stored folder, or
    // because it lies below a folder preferred.
    bool byFolder = false;
    bool byPreference = false;
    // Chosen because it holds what was remembered of the stored name: the
    // same file, whatever its name and folder.
    bool byMemory = false;
};

struct DecisionOptions {
    // Folders whose files win where the evidence does not decide, the first
    // that holds one of the different files, in the order given (absolute,
    // normalised).
    std::vector<std::string> prefer;
    // See ContentOracle; null: the files are read.
    ContentOracle::ContentOf contentOf;
    // What was remembered of the file a stored name referred to; null, or
    // nothing: not known. A candidate that holds it is chosen over every
    // other evidence.
    std::function<std::optional<RememberedContent>(std::string_view stored)> remembered;
};

// Decides, for each match, which file is the missing one, never guessing:
// - a file that holds what was remembered of the stored name is the same
//   file, and taken whatever else the evidence says;
// - a file under other dates than the stored path names is never taken;
// - the missing files of one stored folder go together to the found folder
//   whose path holds the stored folders' distinctive names, or, where no
//   folder's names tell it apart, that holds at least twice as many of them
//   as any other (two at least); a file follows its folder unless a file of
//   other content has a distinctive name its folder's lacks;
// - else a file is taken when it holds a distinctive stored folder name that
//   no other file of different content holds, and none holds one it lacks;
// - identical copies (same size and bytes) are one file;
// - what is left between different files is Ambiguous, unless one of them
//   lies below a preferred folder.
// Reads files only to tell contents apart among files the names do not.
std::vector<Decision> decideMissing(const FileIndex& index, const std::vector<MissingMatch>& matches,
                                    const DecisionOptions& options = {});

} // namespace korvane
