#include "search/folder_evidence.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace korvane {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return c >= 'a' && c <= 'z';
}

// A run of digits in a name, and the one character after it.
struct Run {
    std::size_t start;
    std::size_t length;
};

std::uint32_t number(std::string_view name, const Run& run)
{
    std::uint32_t n = 0;
    for (std::size_t k = run.start; k < run.start + run.length; ++k)
        n = n * 10 + static_cast<std::uint32_t>(name[k] - '0');
    return n;
}

std::uint32_t dateOf(std::uint32_t year, std::uint32_t month, std::uint32_t day)
{
    if (year < 1970 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31)
        return 0;
    return year * 10000 + month * 100 + day;
}

// The character between run `a` and the next, when there is exactly one.
char between(std::string_view name, const Run& a, const Run& b)
{
    return b.start == a.start + a.length + 1 ? name[a.start + a.length] : '\0';
}

bool isDateSeparator(char c)
{
    return c == '-' || c == '_' || c == '.' || c == ' ';
}

} // namespace

std::uint32_t dateIn(std::string_view name)
{
    std::array<Run, 16> runs{};
    std::size_t count = 0;
    for (std::size_t k = 0; k < name.size() && count < runs.size();) {
        if (!isDigit(name[k])) {
            ++k;
            continue;
        }
        const std::size_t start = k;
        while (k < name.size() && isDigit(name[k]))
            ++k;
        runs[count++] = {start, k - start};
    }
    std::uint32_t found = 0;
    const auto take = [&found](std::uint32_t date) {
        if (date == 0)
            return true;
        if (found != 0 && found != date)
            return false; // two dates: none is the folder's
        found = date;
        return true;
    };
    for (std::size_t k = 0; k < count; ++k) {
        const Run& r = runs[k];
        if (r.length == 8 && !take(dateOf(number(name, {r.start, 4}), number(name, {r.start + 4, 2}),
                                           number(name, {r.start + 6, 2}))))
            return 0;
        if (k + 2 >= count)
            continue;
        const Run& m = runs[k + 1];
        const Run& d = runs[k + 2];
        const char first = between(name, r, m);
        const char second = between(name, m, d);
        if (r.length == 4 && m.length == 2 && d.length == 2 && isDateSeparator(first) && first == second &&
            !take(dateOf(number(name, r), number(name, m), number(name, d))))
            return 0;
        if (r.length == 2 && m.length == 2 && d.length == 4 && first == '.' && second == '.' &&
            !take(dateOf(number(name, d), number(name, m), number(name, r))))
            return 0;
    }
    return found;
}

bool isCardFolder(std::string_view key)
{
    static constexpr std::array<std::string_view, 17> kParts = {
        "dcim",   "private", "m4root",  "clip",    "clips", "avchd",   "bdmv",  "stream", "xdroot",
        "contents", "thmbnl", "general", "sub",    "proxy", "proxies", "misc",  "card",
    };
    if (std::find(kParts.begin(), kParts.end(), key) != kParts.end())
        return true;
    // DCF folders: three digits from 100, then five letters, digits or '_'.
    if (key.size() == 8 && key[0] >= '1' && key[0] <= '9' && isDigit(key[1]) && isDigit(key[2]) &&
        std::all_of(key.begin() + 3, key.end(), [](char c) { return isLetter(c) || isDigit(c) || c == '_'; }))
        return true;
    // A card, a camera or a reel named by a letter or a number.
    static constexpr std::array<std::string_view, 12> kHolders = {
        "card", "karte", "carte", "cam", "camera", "kamera", "cf", "sd", "ssd", "reel", "roll", "mag",
    };
    for (const std::string_view holder : kHolders) {
        if (!key.starts_with(holder))
            continue;
        std::string_view rest = key.substr(holder.size());
        if (!rest.empty() && (rest[0] == ' ' || rest[0] == '_' || rest[0] == '-'))
            rest.remove_prefix(1);
        if ((rest.size() == 1 && isLetter(rest[0])) ||
            (!rest.empty() && rest.size() <= 3 && std::all_of(rest.begin(), rest.end(), isDigit)))
            return true;
    }
    return false;
}

bool FolderMatch::tellsApartFrom(const FolderMatch& other) const
{
    return (distinctive & ~other.distinctive) != 0;
}

FolderEvidence::FolderEvidence(const FileIndex& index) : index_(index)
{
    const std::size_t folders = index.folderCount();
    names_.resize(folders);
    dates_.resize(folders);
    byName_.reserve(folders);
    for (FolderId f = 0; f < folders; ++f) {
        const std::string_view key = index.folderKey(f);
        const auto [it, added] = byName_.try_emplace(key, Name{static_cast<std::uint32_t>(byName_.size()), 0});
        ++it->second.bearers;
        names_[f] = it->second.id;
        if ((dates_[f] = dateIn(key)) != 0)
            ++byDate_[dates_[f]];
    }
    few_ = std::max<std::uint32_t>(2, static_cast<std::uint32_t>(folders / 64));
}

std::uint32_t FolderEvidence::bearers(std::string_view key) const
{
    if (const std::uint32_t date = dateIn(key)) {
        const auto it = byDate_.find(date);
        return it == byDate_.end() ? 0 : it->second;
    }
    const auto it = byName_.find(key);
    return it == byName_.end() ? 0 : it->second.bearers;
}

double FolderEvidence::weight(std::string_view key) const
{
    const double folders = static_cast<double>(dates_.size());
    return std::log2((folders + 1) / (static_cast<double>(bearers(key)) + 1));
}

bool FolderEvidence::distinctive(std::string_view key) const
{
    const std::uint32_t n = bearers(key);
    return n > 0 && n <= few_ && !isCardFolder(key);
}

FolderEvidence::Stored FolderEvidence::weigh(const std::vector<std::string>& keys) const
{
    Stored stored;
    for (const std::string& key : keys) {
        const auto it = byName_.find(key);
        stored.names.push_back(it == byName_.end() ? kNoName : it->second.id);
        stored.dates.push_back(dateIn(key));
        stored.anyDate = stored.anyDate || stored.dates.back() != 0;
        stored.weights.push_back(weight(key));
        stored.distinctive.push_back(distinctive(key));
    }
    return stored;
}

FolderMatch FolderEvidence::match(const Stored& stored, FolderId folder) const
{
    // The folders of the path, from the file's up.
    std::array<FolderId, 128> chain{};
    std::size_t depth = 0;
    bool pathDates = false;
    for (FolderId f = folder; f != kNoFolder && depth < chain.size(); f = index_.parentOf(f)) {
        chain[depth++] = f;
        pathDates = pathDates || dates_[f] != 0;
    }
    FolderMatch result;
    bool sameDate = false;
    for (std::size_t s = 0; s < stored.names.size(); ++s) {
        const std::uint32_t date = stored.dates[s];
        const std::uint32_t name = stored.names[s];
        bool found = false;
        for (std::size_t k = 0; k < depth && !found; ++k)
            found = names_[chain[k]] == name || (date != 0 && dates_[chain[k]] == date);
        if (!found)
            continue;
        sameDate = sameDate || date != 0;
        result.weight += stored.weights[s];
        if (stored.distinctive[s] && s < 64)
            result.distinctive |= std::uint64_t{1} << s;
    }
    result.otherDate = stored.anyDate && pathDates && !sameDate;
    const std::size_t count = stored.names.size();
    while (result.sharedTail < depth && result.sharedTail < count && result.sharedTail < 0xFFFF) {
        const std::uint32_t name = stored.names[count - 1 - result.sharedTail];
        if (name == kNoName || names_[chain[result.sharedTail]] != name)
            break;
        ++result.sharedTail;
    }
    return result;
}

} // namespace korvane
