// Undo removes only what it proves a run made and nobody changed: never the
// only copy of a clip, never a file of the user's, whatever the journal
// says.

#include "restore/journal_format.h"
#include "restore/journal_reader.h"
#include "restore/restore_apply.h"
#include "tests/restore/restore_tree.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::contentOf;
using testkit::TempDir;

// After a put back, the user tidies up in ways that make the copy or the
// link the only one left; undo keeps it, and says why.
TEST(UndoSafety, TheOnlyCopyOrLinkLeftIsKept)
{
    const struct {
        const char* name;
        std::function<void(TempDir&)> tidy;
        const char* why;
    } tidyUps[] = {
        {"the source folder replaced by a link to the put-back folder",
         [](TempDir& d) {
             fs::remove_all(d / "src/Wedding");
             fs::create_directory_symlink(d / "root/Wedding", d / "src/Wedding");
         },
         "only"},
        {"the source deleted", [](TempDir& d) { fs::remove_all(d / "src/Wedding"); }, "only"},
        {"the source changed", [](TempDir& d) { std::ofstream(d / "src/Wedding/a.avi", std::ios::app) << "!"; },
         "only"},
        {"the source replaced by another file", [](TempDir& d) {
             fs::remove(d / "src/Wedding/a.avi");
             d.touch("src/Wedding/a.avi", "aaab");
         },
         "only"},
    };
    for (const bool copy : {true, false}) {
        for (const auto& tidy : tidyUps) {
            SCOPED_TRACE(std::string(copy ? "copy: " : "link: ") + tidy.name);
            TempDir dir;
            RestorePlan plan;
            plan.steps.push_back(testkit::putBack(dir.touch("src/Wedding/a.avi", "aaaa"), dir / "root/Wedding/a.avi",
                                                  dir / "root"));
            fs::create_directories(dir / "root");
            ApplyOptions options;
            options.forceCopy = copy;
            options.journalFolder = dir / "state";
            const ApplyResult applied = applyRestorePlan(plan, options);
            ASSERT_EQ(applied.putBack(), 1u);
            tidy.tidy(dir);
            const std::string before = contentOf(dir / "root/Wedding/a.avi");
            const UndoResult undo = undoRestore(applied.journal);
            ASSERT_TRUE(undo.read) << undo.error;
            EXPECT_EQ(undo.removedFiles, 0u);
            EXPECT_EQ(contentOf(dir / "root/Wedding/a.avi"), before);
            ASSERT_FALSE(undo.kept.empty());
            // A link whose source changed in place is still the one file:
            // it is kept as changed, which it is.
            EXPECT_TRUE(undo.kept.front().find(tidy.why) != std::string::npos ||
                        undo.kept.front().find("changed") != std::string::npos ||
                        undo.kept.front().find("last link") != std::string::npos)
                << undo.kept.front();
        }
    }
}

// The files of a sandbox that no run made: the user's, inside and around
// the folder files are put back in, with their content and inode.
std::map<std::string, std::string> canaries(const TempDir& dir)
{
    std::map<std::string, std::string> seen;
    for (const auto& [path, what] : testkit::treeOf(dir.path(), "state"))
        if (!path.starts_with("root/New"))
            seen[path] = what;
    return seen;
}

// Random edits of a journal of a real run, made record by record so that
// most journals stay readable: a place, a source or a root made a
// canary's, a device or inode made a canary's, a completion dropped (as a
// kill would), or a journal of the first version naming canaries.
class Mutator {
public:
    Mutator(unsigned seed, std::vector<std::string> paths, std::vector<std::pair<std::uint64_t, std::uint64_t>> inodes)
        : random_(seed), paths_(std::move(paths)), inodes_(std::move(inodes))
    {
    }

    std::string mutate(std::vector<JournalRecord> records)
    {
        if (pick(5) == 0)
            return firstVersion();
        for (std::size_t n = pick(3) + 1; n > 0 && !records.empty(); --n) {
            JournalRecord& r = records[pick(records.size())];
            switch (pick(5)) {
            case 0:
                if (!r.path.empty())
                    r.path = canary();
                if (!r.temporary.empty())
                    r.temporary = std::string(folderPart(r.path)) + "/.korvane-put-back-Ab3dEf9hIj0K";
                break;
            case 1:
                if (!r.source.empty())
                    r.source = canary();
                break;
            case 2: {
                const auto& [device, inode] = inodes_[pick(inodes_.size())];
                r.device = device;
                r.inode = inode;
                break;
            }
            case 3:
                if (r.kind == Kind::Linked || r.kind == Kind::Copied || r.kind == Kind::FolderMade)
                    records.erase(records.begin() + (&r - records.data()));
                break;
            default:
                if (r.kind == Kind::Root)
                    r.path = pick(2) ? "/" : std::string(folderPart(canary()));
                break;
            }
        }
        std::string bytes = std::string(kJournalHeader) + "\n";
        for (const JournalRecord& r : records)
            bytes += formatRecord(r);
        return bytes;
    }

private:
    using Kind = JournalRecord::Kind;
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    const std::string& canary() { return paths_[pick(paths_.size())]; }

    std::string firstVersion()
    {
        std::string bytes = std::string(kJournalHeaderV1) + "\n";
        for (std::size_t n = pick(4) + 1; n > 0; --n) {
            const auto& [device, inode] = inodes_[pick(inodes_.size())];
            JournalRecord r;
            r.kind = std::array{Kind::OldFolder, Kind::OldLink, Kind::OldCopy}[pick(3)];
            r.path = canary();
            r.source = canary();
            r.device = device;
            r.inode = inode;
            r.size = pick(2) ? 4 : 10;
            bytes += formatRecord(r);
        }
        return bytes;
    }

    std::mt19937 random_;
    std::vector<std::string> paths_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> inodes_;
};

// A journal of a real run, edited at random hundreds of times: undo may
// take back what the run made, but never removes or changes a canary.
TEST(UndoSafety, NoEditedJournalRemovesOrChangesAFileOfTheUsers)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir dir;
        dir.touch("root/User/clip.avi", "aaaa");         // the same bytes as a file put back
        dir.touch("root/User/other.avi", "the user's");
        fs::create_directories(dir / "root/Empty");      // an empty folder of the user's
        dir.touch("home/.ssh/authorized_keys", "keys");  // around the root
        dir.touch("home/.profile", "profile");
        fs::create_hard_link(dir / "root/User/other.avi", dir / "home/other-link.avi"); // two names of one file
        RestorePlan plan;
        plan.steps.push_back(testkit::putBack(dir.touch("src/a.avi", "aaaa"), dir / "root/New/A/a.avi", dir / "root"));
        plan.steps.push_back(testkit::putBack(dir.touch("src/b.avi", "bb"), dir / "root/New/b.avi", dir / "root"));
        ApplyOptions options;
        options.forceCopy = seed % 2 == 0;
        options.journalFolder = dir / "state";
        const ApplyResult applied = applyRestorePlan(plan, options);
        ASSERT_EQ(applied.putBack(), 2u);
        const auto before = canaries(dir);
        std::vector<std::string> paths;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> inodes;
        for (const auto& [path, what] : before) {
            paths.push_back(dir / path);
            struct stat st {};
            ::lstat((dir / path).c_str(), &st);
            inodes.emplace_back(st.st_dev, st.st_ino);
        }
        std::string error;
        const std::optional<Journal> journal = readJournal(applied.journal, error);
        ASSERT_TRUE(journal) << error;
        const std::string edited = Mutator(seed, paths, inodes).mutate(journal->records);
        std::ofstream(applied.journal, std::ios::binary | std::ios::trunc) << edited;
        undoRestore(applied.journal);
        EXPECT_EQ(canaries(dir), before);
    }
}

} // namespace
} // namespace korvane
