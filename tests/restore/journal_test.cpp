// The journal of putting back: every record reads back as written, no line
// the writer does not write is read, and what is not a journal is refused
// without hanging or reading without end.

#include "restore/journal_reader.h"
#include "restore/restore_apply.h"
#include "tests/restore/restore_tree.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace korvane {
namespace {

using Kind = JournalRecord::Kind;
using testkit::TempDir;

// A path holding what escaping must carry: spaces, `%`, a line break, bytes
// that are not UTF-8.
const std::string kHostile = std::string("/m/a b%c\nd\x01\xff") + "\xe3\x81\x82";

JournalRecord record(Kind kind)
{
    JournalRecord r;
    r.kind = kind;
    r.id = 7;
    r.path = kHostile + "/final";
    r.temporary = kHostile + "/.korvane-put-back-Ab3dEf9hIj0K";
    r.source = kHostile + "/source";
    r.device = 2049;
    r.inode = 18446744073709551615ull;
    r.size = 1048576;
    r.time = -1234567890123;
    r.birth = 1796712817968136926;
    r.digest = *Digest::fromHex("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    return r;
}

// Only the fields a kind keeps: what reading its line can give back.
JournalRecord keptFields(JournalRecord r)
{
    JournalRecord kept;
    kept.kind = r.kind;
    switch (r.kind) {
    case Kind::Root:
        kept.path = r.path;
        break;
    case Kind::FolderIntent:
        kept.id = r.id, kept.path = r.path, kept.temporary = r.temporary;
        break;
    case Kind::FolderMade:
        kept.id = r.id, kept.device = r.device, kept.inode = r.inode, kept.birth = r.birth;
        break;
    case Kind::Put:
        kept = r, kept.birth = 0, kept.digest = {};
        break;
    case Kind::Linked:
    case Kind::Copied:
        kept.id = r.id, kept.time = r.time;
        break;
    case Kind::Written:
        kept.id = r.id, kept.device = r.device, kept.inode = r.inode, kept.birth = r.birth, kept.size = r.size;
        kept.digest = r.digest;
        break;
    case Kind::Dropped:
        kept.id = r.id;
        break;
    default:
        break;
    }
    return kept;
}

TEST(JournalFormat, EveryRecordReadsBackAsWrittenWithHostileNames)
{
    for (const Kind kind : {Kind::Root, Kind::FolderIntent, Kind::FolderMade, Kind::Put, Kind::Linked, Kind::Written,
                            Kind::Copied, Kind::Dropped}) {
        const JournalRecord written = keptFields(record(kind));
        const std::string line = formatRecord(written);
        SCOPED_TRACE(line);
        ASSERT_TRUE(line.ends_with('\n'));
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line a record";
        for (const char c : line.substr(0, line.size() - 1))
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "printable ASCII only";
        const std::optional<JournalRecord> read = parseRecord(line.substr(0, line.size() - 1), 2);
        ASSERT_TRUE(read);
        EXPECT_EQ(*read, written);
    }
}

// Each line differs from one the writer writes by one thing the writer
// never does; the first line of the table is the writer's own.
TEST(JournalFormat, NoLineTheWriterDoesNotWriteIsRead)
{
    const std::string t = " /m/.korvane-put-back-Ab3dEf9hIj0K";
    const std::string digest = " 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    ASSERT_TRUE(parseRecord("put 1 /m/a" + t + " /s/a 2049 12 3 4", 2)) << "the writer's own line";
    ASSERT_TRUE(parseRecord("written 1 2049 12 0 3" + digest, 2));
    const struct {
        const char* why;
        std::string line;
        int version;
    } cases[] = {
        {"two spaces", "put 1  /m/a" + t + " /s/a 2049 12 3 4", 2},
        {"a space at the end", "put 1 /m/a" + t + " /s/a 2049 12 3 4 ", 2},
        {"a word more", "put 1 /m/a" + t + " /s/a 2049 12 3 4 5", 2},
        {"a word less", "put 1 /m/a" + t + " /s/a 2049 12 3", 2},
        {"a leading zero", "put 01 /m/a" + t + " /s/a 2049 12 3 4", 2},
        {"a sign", "put +1 /m/a" + t + " /s/a 2049 12 3 4", 2},
        {"a negative size", "put 1 /m/a" + t + " /s/a 2049 12 -3 4", 2},
        {"hexadecimal", "put 1 /m/a" + t + " /s/a 0x801 12 3 4", 2},
        {"past 64 bits", "put 1 /m/a" + t + " /s/a 18446744073709551616 12 3 4", 2},
        {"ID 0", "put 0 /m/a" + t + " /s/a 2049 12 3 4", 2},
        {"minus zero", "copied 1 -0", 2},
        {"an escape in lower case", "put 1 /m/%c3%a9" + t + " /s/a 2049 12 3 4", 2},
        {"an escape of what is never escaped", "put 1 /m/%41" + t + " /s/a 2049 12 3 4", 2},
        {"a bare %", "put 1 /m/a%" + t + " /s/a 2049 12 3 4", 2},
        {"an escape cut short", "put 1 /m/a%4" + t + " /s/a 2049 12 3 4", 2},
        {"a NUL byte", "put 1 /m/a%00b" + t + " /s/a 2049 12 3 4", 2},
        {"a relative path", "put 1 m/a" + t + " /s/a 2049 12 3 4", 2},
        {"a '..' name", "put 1 /m/../a" + t + " /s/a 2049 12 3 4", 2},
        {"an empty name", "put 1 /m//a /m//.korvane-put-back-Ab3dEf9hIj0K /s/a 2049 12 3 4", 2},
        {"a trailing /", "put 1 /m/a/" + t + " /s/a 2049 12 3 4", 2},
        {"a temporary in another folder", "put 1 /m/a /n/.korvane-put-back-Ab3dEf9hIj0K /s/a 2049 12 3 4", 2},
        {"a temporary of another name", "put 1 /m/a /m/clip.avi /s/a 2049 12 3 4", 2},
        {"a temporary one letter short", "put 1 /m/a /m/.korvane-put-back-Ab3dEf9hIj0 /s/a 2049 12 3 4", 2},
        {"a digest in upper case", "written 1 2049 12 0 3 9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08",
         2},
        {"a digest a digit short", "written 1 2049 12 0 3 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a0",
         2},
        {"an unknown kind", "delete 1 /m/a", 2},
        {"a kind of the first version", "temporary /m/.korvane-put-back-Ab3dEf", 2},
        {"a kind of the second version in the first", "root /m", 1},
        {"a first-version temporary of any name", "temporary /home/u/.ssh/authorized_keys", 1},
        {"a first-version hash in upper case", "copy 3 0123456789ABCDEF /m/a /s/a", 1},
        {"a tab", "root\t/m", 2},
        {"a carriage return", "root /m\r", 2},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(parseRecord(c.line, c.version)) << c.why << ": " << c.line;
}

class JournalFile : public ::testing::Test {
protected:
    TempDir dir;

    // A journal of a real run: two folders made, a link, a copy.
    std::string realJournal()
    {
        RestorePlan plan;
        plan.steps.push_back(testkit::putBack(dir.touch("src/a.avi", "a"), dir / "root/F/a.avi", dir / "root"));
        plan.steps.push_back(testkit::putBack(dir.touch("src/b.avi", "bb"), dir / "root/F/G/b.avi", dir / "root"));
        std::filesystem::create_directories(dir / "root");
        ApplyOptions options;
        options.journalFolder = dir / "state";
        options.fault = [](std::string_view act) { return act == "link" && linkOnce++ > 0 ? EXDEV : 0; };
        const ApplyResult applied = applyRestorePlan(plan, options);
        EXPECT_EQ(applied.linked + applied.copied, 2u);
        return applied.journal;
    }
    static inline int linkOnce = 0;
};

TEST_F(JournalFile, AJournalReadIsWrittenBackByteForByte)
{
    const std::string path = realJournal();
    const std::string bytes = testkit::contentOf(path);
    std::string error;
    const std::optional<Journal> journal = readJournal(path, error);
    ASSERT_TRUE(journal) << error;
    std::string again = std::string(kJournalHeader) + "\n";
    for (const JournalRecord& r : journal->records)
        again += formatRecord(r);
    EXPECT_EQ(again, bytes);
    EXPECT_FALSE(journal->cutShort);
}

// A line changed anywhere damages the whole journal: undo then removes
// nothing and says which line. A last line without its end is a write cut
// short by a crash: left out, the rest undone.
TEST_F(JournalFile, DamageAnywhereMakesUndoRemoveNothingButALastLineCutShortIsLeftOut)
{
    const std::string path = realJournal();
    const std::string bytes = testkit::contentOf(path);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find('\n', at);
        lines.push_back(bytes.substr(at, end + 1 - at));
        at = end + 1;
    }
    const auto rewrite = [&](const std::vector<std::string>& with) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (const std::string& line : with)
            out << line;
    };
    const auto before = testkit::treeOf(dir / "root");
    std::size_t put = 0; // the first intent to put a file back
    while (!lines[put].starts_with("put "))
        ++put;
    const struct {
        const char* why;
        std::function<void(std::vector<std::string>&)> change;
    } damages[] = {
        {"a changed byte", [&](auto& l) { l[put][0] = 'P'; }},
        {"two lines run together", [&](auto& l) { l[put].pop_back(); }},
        {"a completion before its intent", [&](auto& l) { std::swap(l[put], l[put + 1]); }},
        {"a completion twice", [&](auto& l) { l.push_back(l.back()); }},
        {"an intent's ID skipped", [&](auto& l) { l[put][4] = '9'; }},
        {"a place below no root", [&](auto& l) { l.erase(l.begin() + 1); }},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.why);
        std::vector<std::string> changed = lines;
        damage.change(changed);
        rewrite(changed);
        const UndoResult undo = undoRestore(path);
        EXPECT_FALSE(undo.read);
        EXPECT_NE(undo.error.find("damaged at line"), std::string::npos) << undo.error;
        EXPECT_NE(undo.error.find("nothing was removed"), std::string::npos) << undo.error;
        EXPECT_EQ(undo.removedFiles + undo.removedFolders, 0u);
        EXPECT_EQ(testkit::treeOf(dir / "root"), before);
    }
    EXPECT_FALSE(before.empty());
    std::vector<std::string> cut = lines;
    cut.back().resize(cut.back().size() / 2);
    rewrite(cut);
    const UndoResult undo = undoRestore(path);
    ASSERT_TRUE(undo.read) << undo.error;
    EXPECT_GT(undo.removedFiles, 0u);
}

// Whatever the path names, reading it ends at once: nothing blocks on a
// FIFO without a writer, reads a device without end, or takes a folder or
// a file larger than any journal.
TEST_F(JournalFile, WhatIsNotARegularFileOfAJournalsSizeIsRefusedAtOnce)
{
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir / "huge.journal";
    {
        std::ofstream out(huge);
        out << kJournalHeader << "\n";
    }
    ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(kMostJournalBytes) + 1), 0);
    const std::string empty = dir.touch("empty", "");
    const struct {
        std::string path;
        const char* error;
    } cases[] = {
        {fifo, "not a regular file"}, {"/dev/zero", "not a regular file"}, {dir.path(), "a folder"},
        {huge, "larger than a journal"}, {empty, "not a journal"}, {dir / "absent", "No such file"},
    };
    for (const auto& c : cases) {
        auto reading = std::make_shared<std::promise<std::string>>();
        std::future<std::string> result = reading->get_future();
        std::thread([path = c.path, reading] {
            std::string error;
            readJournal(path, error);
            reading->set_value(error);
        }).detach();
        ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready) << c.path << " blocked";
        EXPECT_NE(result.get().find(c.error), std::string::npos) << c.path;
    }
}

} // namespace
} // namespace korvane
