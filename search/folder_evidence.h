#pragma once

#include "search/file_index.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// The date a folder name holds, as yyyymmdd: "2024-06-15", "2024_06_15",
// "2024.06.15", "2024 06 15", "20240615" and "15.06.2024", alone or within a
// longer name ("2024-06-15_Brunch", "Hochzeit 15.06.2024"), with a year from
// 1970 to 2099; 0 when it holds none (or more than one).
std::uint32_t dateIn(std::string_view name);

// Whether a folder key (see matchKey) names a part of a camera card's
// structure, generic however often it occurs: DCIM and its DCF folders
// ("100canon", "101msdcf"), "private", "m4root", "clip", "avchd", "bdmv",
// "stream", "xdroot", "contents", "thmbnl", ..., and a card or camera
// named by a letter or a number ("kartea", "card_b", "cam2", "sd1").
bool isCardFolder(std::string_view key);

// What the folders of a file found say of the stored folders of a missing
// file: which of the stored folder names it holds anywhere in its path
// (not only as a tail), how much they weigh, and whether it names other
// dates than the stored path does.
struct FolderMatch {
    // The stored folders found on the path that are distinctive (see
    // FolderEvidence): bit k for the k-th stored folder, the first 64.
    std::uint64_t distinctive = 0;
    // What all the stored folders found weigh together.
    double weight = 0;
    // The path names dates, and none of those the stored folders name: a
    // file of another day's shoot.
    bool otherDate = false;
    // How many of the last stored folders the path ends in, in order.
    std::uint16_t sharedTail = 0;

    // Whether this holds a distinctive stored folder that `other` does not.
    bool tellsApartFrom(const FolderMatch& other) const;
};

// How distinctive each folder name is among the searched trees: a name
// found in few folders (a date, a client, a project, an event) weighs a
// lot, one found in many (DCIM, a camera's folder below every date) little;
// the parts of camera cards are generic whatever their count. A name is
// distinctive when at most max(2, folders / 64) folders of the index bear
// it (for a date: bear the date in any spelling) and it is no card folder.
class FolderEvidence {
public:
    explicit FolderEvidence(const FileIndex& index);

    // The stored folders of one missing file, weighed once for all its
    // candidates: their keys (matchKey of each, top first) and dates.
    struct Stored {
        std::vector<std::uint32_t> names; // the id of each key among the index's folder names; kNoName if none
        std::vector<std::uint32_t> dates;
        std::vector<double> weights;
        std::vector<bool> distinctive;
        bool anyDate = false;
    };
    Stored weigh(const std::vector<std::string>& keys) const;

    // What the path of the index's folder `folder` says of `stored`.
    FolderMatch match(const Stored& stored, FolderId folder) const;

    // The weight of a stored folder key, and whether it is distinctive.
    double weight(std::string_view key) const;
    bool distinctive(std::string_view key) const;

    static constexpr std::uint32_t kNoName = 0xFFFFFFFFu;

private:
    struct Name {
        std::uint32_t id;
        std::uint32_t bearers;
    };
    std::uint32_t bearers(std::string_view key) const;

    const FileIndex& index_;
    std::vector<std::uint32_t> names_;                  // the name id of each folder of the index
    std::vector<std::uint32_t> dates_;                  // the date of each folder of the index
    std::unordered_map<std::string_view, Name> byName_; // folders bearing each key
    std::unordered_map<std::uint32_t, std::uint32_t> byDate_; // folders bearing each date
    std::uint32_t few_ = 2;
};

} // namespace korvane
