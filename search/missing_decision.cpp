#include "search/missing_decision.h"

#include "fs/content_digest.h"
#include "search/folder_evidence.h"

#include <algorithm>
#include <bit>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

using Bytes = std::array<std::uint8_t, 32>;

bool below(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return true;
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

// Whether `a` holds a distinctive stored folder that `b` lacks.
bool tellsApart(const Candidate& a, const Candidate& b)
{
    return (a.distinctive & ~b.distinctive) != 0;
}

// Whether the evidence takes `a` over `b`: a distinctive stored folder `b`
// lacks, and none `b` holds that `a` lacks; or the same distinctive folders
// and a longer tail of stored folders below one of them.
bool clearlyBefore(const Candidate& a, const Candidate& b)
{
    if (tellsApart(b, a))
        return false;
    return tellsApart(a, b) || a.anchoredTail > b.anchoredTail;
}

// Best first, as the match ranks them (the other extension aside).
bool ranksBefore(const Candidate& a, const Candidate& b)
{
    if (const int evidence = compareEvidence(a, b); evidence != 0)
        return evidence < 0;
    return a.sameSpelling && !b.sameSpelling;
}

// The key of a stored folder: the missing files of one go together.
std::string folderKeyOf(const MissingMatch& match)
{
    std::string key = match.rootKey;
    for (const std::string& folder : match.folderKeys) {
        key += '\\';
        key += folder;
    }
    return key;
}

// The folder the files of one stored folder go to together, if one stands
// out: no other folder's path holds a distinctive stored name its path
// lacks, and its names tell it apart from every other, or it holds at least
// twice as many of the files (and two at least).
std::optional<FolderId> folderOfGroup(const FileIndex& index, const std::vector<MissingMatch>& matches,
                                      const std::vector<std::size_t>& members)
{
    struct Tally {
        Candidate evidence; // of any of its files: one stored folder, one path
        std::size_t files = 0;
    };
    std::unordered_map<FolderId, Tally> tallies;
    for (const std::size_t m : members) {
        for (const Candidate& c : matches[m].candidates) {
            if (c.kind != MatchKind::SameName || c.otherDate)
                continue;
            Tally& tally = tallies[index.folderOf(c.file)];
            tally.evidence = c;
            ++tally.files;
        }
    }
    for (const auto& [folder, tally] : tallies) {
        bool standsOut = tally.files >= 2;
        for (const auto& [other, rival] : tallies) {
            if (!standsOut || other == folder)
                continue;
            standsOut = !tellsApart(rival.evidence, tally.evidence) &&
                        (clearlyBefore(tally.evidence, rival.evidence) || tally.files >= 2 * rival.files);
        }
        if (standsOut)
            return folder;
    }
    return std::nullopt;
}

class Decider {
public:
    Decider(const FileIndex& index, const DecisionOptions& options)
        : index_(index), options_(options), evidence_(index), content_(index, options.contentOf)
    {
    }

    Decision decide(const MissingMatch& match, std::optional<FolderId> groupFolder);

private:
    std::optional<Decision> byMemory(const MissingMatch& match);
    using Live = std::vector<const Candidate*>;
    void liveCandidates(const MissingMatch& match, Live& live, bool& otherShoot);
    bool readable(const Candidate& c) const { return c.readable || index_.readable(c.file); }
    bool sameContent(FileId a, const std::vector<FileId>& others);
    Decision byEvidence(Live& live);
    std::optional<FileId> preferred(const std::vector<std::vector<FileId>>& groups);

    const FileIndex& index_;
    const DecisionOptions& options_;
    FolderEvidence evidence_;
    ContentOracle content_;
    std::vector<Candidate> all_; // of a match that kept only the best for showing
    Live live_;
    std::vector<const Candidate*> checks_;
};

// The candidates of the stored name itself, best first, but those under
// other dates; all of them where the match kept only the best for showing.
void Decider::liveCandidates(const MissingMatch& match, Live& live, bool& otherShoot)
{
    const std::vector<Candidate>* source = &match.candidates;
    if (match.candidateCount > match.candidates.size()) {
        all_ = sameNameCandidates(index_, evidence_, match);
        std::stable_sort(all_.begin(), all_.end(), ranksBefore);
        source = &all_;
    }
    // The match ranks them so already (those of other dates last).
    live.clear();
    bool any = false;
    for (const Candidate& c : *source) {
        if (c.kind != MatchKind::SameName)
            continue;
        any = true;
        if (!c.otherDate)
            live.push_back(&c);
    }
    otherShoot = live.empty() && any;
}

bool Decider::sameContent(FileId a, const std::vector<FileId>& others)
{
    std::vector<FileId> files{a};
    files.insert(files.end(), others.begin(), others.end());
    return content_.groups(files).size() == 1;
}

std::optional<FileId> Decider::preferred(const std::vector<std::vector<FileId>>& groups)
{
    for (const std::string& folder : options_.prefer) {
        std::optional<FileId> found;
        std::size_t holding = 0;
        for (const std::vector<FileId>& group : groups) {
            const auto it = std::find_if(group.begin(), group.end(),
                                         [&](FileId f) { return below(index_.filePath(f), folder); });
            if (it != group.end()) {
                found = *it;
                ++holding;
            }
        }
        if (holding == 1)
            return found;
        if (holding > 1)
            return std::nullopt; // the preferred tree itself holds different files
    }
    return std::nullopt;
}

// The best file, with every file its evidence does not tell apart from it;
// taken when they all hold the same bytes.
Decision Decider::byEvidence(Live& live)
{
    Decision decision;
    for (;;) {
        const Candidate& winner = *live.front();
        std::vector<const Candidate*>& checks = checks_;
        checks.assign(1, &winner);
        for (std::size_t k = 1; k < live.size(); ++k)
            if (!clearlyBefore(winner, *live[k]))
                checks.push_back(live[k]);
        // A file that cannot be opened is no source: the next one takes its place.
        const auto unreadable =
            std::find_if(checks.begin(), checks.end(), [&](const Candidate* c) { return !readable(*c); });
        if (unreadable != checks.end()) {
            std::erase(live, *unreadable);
            if (live.empty())
                return decision;
            continue;
        }
        if (checks.size() == 1) {
            decision.kind = Decision::Kind::Chosen;
            decision.chosen = winner.file;
            return decision;
        }
        std::vector<FileId> contenders;
        for (const Candidate* c : checks)
            contenders.push_back(c->file);
        const std::vector<std::vector<FileId>> groups = content_.groups(contenders);
        if (groups.size() == 1) {
            decision.kind = Decision::Kind::Chosen;
            decision.chosen = winner.file;
            decision.identical = contenders.size();
            return decision;
        }
        if (const std::optional<FileId> chosen = preferred(groups)) {
            decision.kind = Decision::Kind::Chosen;
            decision.chosen = *chosen;
            decision.byPreference = true;
            return decision;
        }
        decision.kind = Decision::Kind::Ambiguous;
        for (const std::vector<FileId>& group : groups)
            decision.contenders.push_back(group.front());
        return decision;
    }
}

// The candidates that hold what was remembered of the stored name, of any
// name and folder: the file itself, chosen.
std::optional<Decision> Decider::byMemory(const MissingMatch& match)
{
    const std::optional<RememberedContent> remembered =
        options_.remembered ? options_.remembered(match.file.stored) : std::nullopt;
    if (!remembered)
        return std::nullopt;
    std::vector<Candidate> others;
    if (match.candidateCount > match.candidates.size())
        others = sameNameCandidates(index_, evidence_, match);
    const std::vector<Candidate>& rest = others;
    std::vector<FileId> same;
    for (const std::vector<Candidate>* list : {&match.candidates, &rest})
        for (const Candidate& c : *list)
            if (std::find(same.begin(), same.end(), c.file) == same.end() && content_.holds(c.file, *remembered))
                same.push_back(c.file);
    if (same.empty())
        return std::nullopt;
    Decision decision;
    decision.kind = Decision::Kind::Chosen;
    decision.chosen = same.front();
    decision.identical = same.size();
    decision.byMemory = true;
    return decision;
}

Decision Decider::decide(const MissingMatch& match, std::optional<FolderId> groupFolder)
{
    Decision decision;
    if (!match.found())
        return decision;
    if (std::optional<Decision> same = byMemory(match))
        return *same;
    // A transcode that shares more folders than the file of its name: neither is taken.
    if (match.candidates.front().kind == MatchKind::OtherExtension)
        return decision;
    bool otherShoot = false;
    liveCandidates(match, live_, otherShoot);
    if (live_.empty()) {
        decision.kind = otherShoot ? Decision::Kind::OtherShoot : Decision::Kind::NotFound;
        return decision;
    }
    // The file in its folder's folder, unless a file of other content has
    // a distinctive name that folder lacks.
    const auto inFolder = std::find_if(live_.begin(), live_.end(), [&](const Candidate* c) {
        return groupFolder && index_.folderOf(c->file) == *groupFolder;
    });
    if (inFolder != live_.end() && readable(**inFolder)) {
        std::vector<FileId> rivals;
        for (const Candidate* c : live_)
            if (tellsApart(*c, **inFolder))
                rivals.push_back(c->file);
        if (rivals.empty() || sameContent((*inFolder)->file, rivals)) {
            decision.kind = Decision::Kind::Chosen;
            decision.chosen = (*inFolder)->file;
            decision.byFolder = true;
            return decision;
        }
    }
    return byEvidence(live_);
}

} // namespace

ContentOracle::Known& ContentOracle::look(FileId file)
{
    Known& known = known_[file];
    if (!known.looked && contentOf_) {
        known.looked = true;
        if (const std::optional<std::string> content = contentOf_(index_.filePath(file))) {
            known.readable = true;
            known.size = content->size();
            DigestBuilder digest;
            digest.add(content->data(), content->size());
            known.fingerprint = known.digest = digest.finish().bytes;
        }
    }
    if (!known.looked) {
        known.looked = true;
        struct stat st {};
        if (::stat(index_.filePath(file).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            known.readable = true;
            known.size = static_cast<std::uint64_t>(st.st_size);
        }
    }
    return known;
}

std::optional<std::uint64_t> ContentOracle::size(FileId file)
{
    const Known& known = look(file);
    return known.readable ? std::optional(known.size) : std::nullopt;
}

// The fingerprint or the whole digest of a file; null when it cannot be read.
const Bytes* ContentOracle::piece(FileId file, bool whole)
{
    Known& known = look(file);
    std::optional<Bytes>& slot = whole ? known.digest : known.fingerprint;
    if (!slot && known.readable) {
        const int fd = ::open(index_.filePath(file).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            if (whole) {
                if (const std::optional<ContentDigest> content = digestOpenFile(fd))
                    slot = content->digest.bytes;
            } else if (const std::optional<Digest> ends = fingerprintOpenFile(fd, known.size)) {
                slot = ends->bytes;
            }
            ::close(fd);
        }
        known.readable = slot.has_value();
    }
    return slot ? &*slot : nullptr;
}

bool ContentOracle::holds(FileId file, const RememberedContent& remembered)
{
    // Files of no bytes are all alike: none is known for the one remembered.
    if (remembered.size == 0 || size(file) != remembered.size)
        return false;
    const Bytes* fingerprint = piece(file, false);
    return fingerprint && *fingerprint == remembered.fingerprint;
}

std::vector<std::vector<FileId>> ContentOracle::groups(const std::vector<FileId>& files)
{
    std::vector<std::vector<FileId>> groups;
    for (const FileId file : files) {
        bool placed = false;
        for (std::vector<FileId>& group : groups) {
            const FileId other = group.front();
            if (size(file) != size(other) || !size(file))
                continue;
            // Small files: their fingerprint is their whole content.
            const bool whole = *size(file) > 2 * kFingerprintPiece;
            const Bytes* a = piece(file, false);
            const Bytes* b = piece(other, false);
            if (!a || !b || *a != *b)
                continue;
            if (whole && (!(a = piece(file, true)) || !(b = piece(other, true)) || *a != *b))
                continue;
            group.push_back(file);
            placed = true;
            break;
        }
        if (!placed)
            groups.push_back({file});
    }
    return groups;
}

std::vector<Decision> decideMissing(const FileIndex& index, const std::vector<MissingMatch>& matches,
                                    const DecisionOptions& options)
{
    // The stored folders, each a group of the matches below it.
    std::unordered_map<std::string, std::size_t> groupIds;
    std::vector<std::size_t> groupOf(matches.size());
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t m = 0; m < matches.size(); ++m) {
        if (!matches[m].found())
            continue;
        const auto [it, added] = groupIds.try_emplace(folderKeyOf(matches[m]), groups.size());
        if (added)
            groups.emplace_back();
        groups[it->second].push_back(m);
        groupOf[m] = it->second;
    }
    std::vector<std::optional<FolderId>> folders(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g)
        if (groups[g].size() >= 2)
            folders[g] = folderOfGroup(index, matches, groups[g]);
    Decider decider(index, options);
    std::vector<Decision> decisions;
    decisions.reserve(matches.size());
    for (std::size_t m = 0; m < matches.size(); ++m)
        decisions.push_back(decider.decide(matches[m], matches[m].found() ? folders[groupOf[m]] : std::nullopt));
    return decisions;
}

} // namespace korvane
