// Existence tests overlapped with the scan and with each other: the feedback
// hears exactly what it hears when each test is made in its turn, whatever
// order the tests end in, and each folder and path is asked of the disk once.

#include "paths/lookup_pool.h"
#include "scanner/look_ahead_feedback.h"
#include "scanner/scan.h"
#include "tests/builder/project_builder.h"
#include "tests/paths/make_resolver.h"
#include "tests/recording_feedback.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace korvane {
namespace {

using testkit::RecordingFeedback;

// Tickets that end only when the scan waits for one, and then every ticket
// from the newest back to that one: the latest test ends first, the order
// furthest from the scan's.
class ReverseLookAhead final : public LookAhead {
public:
    const LookAheadFeedback* feedback = nullptr;
    std::size_t mostHeld = 0;
    std::size_t begun = 0;

    Ticket begin(std::string_view path) override
    {
        ++begun;
        const auto [at, fresh] = tickets_.try_emplace(std::string(path), static_cast<Ticket>(done_.size() + 1));
        if (fresh)
            done_.push_back(false);
        return at->second;
    }
    bool ready(Ticket ticket) const override { return ticket == 0 || done_[ticket - 1]; }
    void wait(Ticket ticket, std::stop_token) override
    {
        mostHeld = std::max(mostHeld, feedback->held());
        for (std::size_t k = done_.size(); k >= ticket && k > 0; --k)
            done_[k - 1] = true;
    }
    void flush() override {}

private:
    std::map<std::string, Ticket, std::less<>> tickets_;
    std::vector<bool> done_;
};

// A project of `entries` clips and bin entries whose paths come from
// `names`, some of them more than once.
testkit::ProjectModel randomProject(std::mt19937& random, const std::vector<std::string>& names, int entries)
{
    testkit::ProjectModel model;
    std::uniform_int_distribution<std::size_t> pick(0, names.size() - 1);
    for (int k = 0; k < entries; ++k) {
        const std::string& path = names[pick(random)];
        switch (random() % 5) {
        case 0: model.mainAV.push_back({path}); break;
        case 1: model.insertAV.push_back({path}); break;
        case 2: model.exAudio1.push_back({path}); break;
        case 3: model.exAudio2.push_back({path}); break;
        default: model.bin.push_back({"name", path}); break;
        }
    }
    return model;
}

TEST(LookAheadFeedback, KeepsTheOrderAndItsBoundsWhenTestsEndNewestFirst)
{
    std::mt19937 random(12);
    struct Case {
        const char* what;
        int names;   // distinct paths
        int entries; // references
    };
    // The last case holds more events than may be held back at once.
    const std::vector<Case> cases = {{"no entries", 1, 0},
                                     {"one path many times", 1, 300},
                                     {"few paths", 20, 500},
                                     {"more events than are held", 40000, 40000}};
    for (const Case& c : cases) {
        std::vector<std::string> names;
        for (int k = 0; k < c.names; ++k)
            names.push_back("/media/clip" + std::to_string(k) + (k % 3 == 0 ? ".avi" : ".wav"));
        const std::vector<std::uint8_t> bytes = testkit::buildProject(randomProject(random, names, c.entries));

        RecordingFeedback inTurn;
        RecordingFeedback overlapped;
        for (std::size_t k = 0; k < names.size(); k += 2) {
            inTurn.present.insert(names[k]);
            overlapped.present.insert(names[k]);
        }
        testkit::scanBytes(bytes, inTurn);

        ReverseLookAhead lookAhead;
        LookAheadFeedback ahead(overlapped, lookAhead, overlapped);
        lookAhead.feedback = &ahead;
        ProjectReader reader(bytes);
        scanProject(reader, ahead, ahead);
        ahead.finish();

        EXPECT_EQ(overlapped.calls, inTurn.calls) << c.what;
        EXPECT_EQ(overlapped.events, inTurn.events) << c.what;
        EXPECT_EQ(lookAhead.begun, inTurn.checked.size()) << c.what;
        EXPECT_LE(lookAhead.mostHeld, LookAheadFeedback::kMaxHeldEvents + 1) << c.what;
        EXPECT_EQ(ahead.held(), 0u) << c.what;
    }
}

// The system's reader, counting what is asked of it, with the first follows
// made slower than the rest so that early tests end after later ones.
class CountingReader final : public FolderReader {
public:
    int list(const std::string& path, FolderListing& listing) override
    {
        count("list " + path);
        return systemFolderReader().list(path, listing);
    }
    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
    {
        const int order = count("follow " + path);
        if (order < 8)
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * (8 - order)));
        return systemFolderReader().follow(path, kind, identity);
    }
    std::map<std::string, int> asked() const
    {
        const std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    int count(const std::string& key)
    {
        const std::lock_guard lock(mutex_);
        ++asked_[key];
        return calls_++;
    }
    mutable std::mutex mutex_;
    std::map<std::string, int> asked_;
    int calls_ = 0;
};

// The report, the trace of every call and what the resolver noted.
class ResolvingFeedback final : public RecordingFeedback {
public:
    explicit ResolvingFeedback(PathResolver& resolver) : resolver_(resolver) {}
    bool exists(std::string_view path) override
    {
        checked.emplace_back(path);
        return resolver_.exists(path);
    }

private:
    PathResolver& resolver_;
};

TEST(LookupPool, OverlappedRunsSayWhatRunsInTurnSay)
{
    const testkit::TempDir dir;
    for (const char* file :
         {"disk/Video/CamA/v01.avi", "disk/Video/CamA/V02.AVI", "disk/Video/camb/a.wav", "disk/Audio/Waltz.wav",
          "disk/\xe6\x97\xa5\xe6\x9c\xac/\xe5\x8b\x95\xe7\x94\xbb.avi", "plain/x.avi", "plain/y.bmp"})
        dir.touch(file);
    const std::string plain = dir / "plain";
    const std::vector<std::string> names = {
        "D:\\Video\\CamA\\v01.avi",
        "d:\\VIDEO\\cama\\V01.avi",
        "D:\\Video\\CamA\\v02.avi",
        "D:\\Video\\CamA\\v03.avi",
        "D:\\Video\\CAMB\\A.WAV",
        "D:\\Video\\CamC\\a.wav",
        "D:\\Audio\\Waltz.wav",
        "D:\\Audio\\waltz.WAV",
        "D:\\\x93\xfa\x96\x7b\\\x93\xae\x89\xe6.avi",
        "E:\\elsewhere\\a.avi",
        "\\\\nas\\media\\b.avi",
        plain + "/x.avi",
        plain + "/z.avi",
        plain + "/*.bmp",
        plain + "/*.mov",
        "",
        "D:\\Video\\CamA\\",
    };
    const std::vector<DriveMapping> mappings = {{"D:", dir / "disk"}};

    std::mt19937 random(7);
    for (int round = 0; round < 6; ++round) {
        const std::string project = dir / ("p" + std::to_string(round) + ".dvc");
        testkit::writeFile(project, testkit::buildProject(randomProject(random, names, 20 + 40 * round)));

        PathResolver inTurnResolver = testkit::makeResolver(mappings);
        ResolvingFeedback inTurn(inTurnResolver);
        ScanOptions inTurnOptions;
        inTurnOptions.exists = &inTurn;
        ASSERT_TRUE(runScan(project, inTurn, inTurnOptions));

        CountingReader disk;
        const PathResolver model = testkit::makeResolver(mappings);
        // Odd rounds start their threads once the slow first follows have
        // shown the disk to be slow.
        LookupPool pool(model, 1 + round * 3, disk,
                        round % 2 == 0 ? ReadAhead::Now : ReadAhead::WhenSlow);
        PathResolver resolver = model.sibling(pool.reader());
        ResolvingFeedback overlapped(resolver);
        ScanOptions options;
        options.exists = &overlapped;
        options.lookAhead = &pool;
        ASSERT_TRUE(runScan(project, overlapped, options));

        EXPECT_EQ(overlapped.calls, inTurn.calls) << "round " << round;
        EXPECT_EQ(resolver.unmappedRoots(), inTurnResolver.unmappedRoots()) << "round " << round;
        EXPECT_EQ(resolver.readInOtherCodePage(), inTurnResolver.readInOtherCodePage()) << "round " << round;
        // A path answered in its turn before the disk proved slow may be
        // asked once more by the threads when the scan meets it again.
        const int most = round % 2 == 0 ? 1 : 2;
        for (const auto& [what, times] : disk.asked())
            EXPECT_LE(times, most) << what << " in round " << round;
    }
}

} // namespace
} // namespace korvane
