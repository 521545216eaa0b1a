// One run over many projects: the searched folders are walked once and
// shared, projects are worked on side by side but taken in order, a stop
// holds for everything after it, and a scan after putting back reads the
// disk afresh.

#include "run/ordered_work.h"
#include "run/run.h"
#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

namespace korvane {
namespace {

using testkit::RecordingFeedback;
using testkit::TempDir;

// A run with the given mappings only: nothing of this machine's
// configuration file, Wine prefix or WSL drives.
RunOptions optionsFor(const std::vector<DriveMapping>& mappings, int jobs = 4)
{
    RunOptions options;
    options.sources.explicitMappings = mappings;
    options.jobs = jobs;
    return options;
}

std::string writeProject(const TempDir& dir, const std::string& name, const std::vector<std::string>& clips)
{
    testkit::ProjectModel model;
    for (const std::string& clip : clips)
        model.mainAV.push_back({clip});
    const std::string path = dir / name;
    testkit::writeFile(path, testkit::buildProject(model));
    return path;
}

TEST(Run, ProjectsSearchingTheSameFoldersShareOneWalk)
{
    const TempDir dir;
    for (int k = 0; k < 30; ++k)
        dir.touch("archive/card" + std::to_string(k % 5) + "/clip" + std::to_string(k) + ".avi");
    dir.touch("other/clip1.avi");
    // The threads look up and read folders from the start, as on a share:
    // the projects' scans and the walk share them.
    RunOptions options = optionsFor({{"D:", dir / "gone"}});
    options.readAhead = ReadAhead::Now;
    korvane::Run run(options);
    ASSERT_TRUE(run.ready());

    constexpr int kProjects = 8;
    std::vector<ProjectScan> projects;
    for (int k = 0; k < kProjects; ++k)
        projects.push_back(run.project(
            writeProject(dir, "p" + std::to_string(k) + ".dvc", {"D:\\clip" + std::to_string(k) + ".avi"})));
    std::vector<std::optional<SearchResults>> results(kProjects);
    std::atomic<int> walks{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kProjects; ++k) {
        threads.emplace_back([&, k] {
            RecordingFeedback sink;
            run.scan(projects[static_cast<std::size_t>(k)], sink);
            SearchRequest request;
            request.folders = {dir / "archive"};
            request.progress = [&walks](const WalkProgress& where) {
                if (where.folders == 1)
                    ++walks;
            };
            results[static_cast<std::size_t>(k)] = run.search(projects[static_cast<std::size_t>(k)], request);
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(walks.load(), 1) << "only the search that walks is told of the walk";
    for (int k = 0; k < kProjects; ++k) {
        const SearchResults& found = *results[static_cast<std::size_t>(k)];
        EXPECT_EQ(&found.index(), &results[0]->index()) << k;
        ASSERT_EQ(found.matches().size(), 1u) << k;
        EXPECT_TRUE(found.matches()[0].found()) << k;
    }
    SearchRequest elsewhere;
    elsewhere.folders = {dir / "other"};
    EXPECT_NE(&run.search(projects[1], elsewhere).index(), &results[0]->index()) << "other folders, another walk";
}

TEST(OrderedWork, ItemsFinishingInAnyOrderAreTakenInOrderWithinTheWindow)
{
    for (const std::size_t threads : {1u, 2u, 4u}) {
        constexpr std::size_t kItems = 60;
        const std::size_t window = 3 * threads;
        std::mutex mutex;
        std::size_t turn = 0;
        std::size_t furthestAhead = 0;
        std::vector<int> finished(kItems, 0);
        std::mt19937 random(static_cast<unsigned>(threads));
        std::vector<int> pause(kItems);
        for (int& p : pause)
            p = static_cast<int>(random() % 3);
        {
            OrderedWork work(kItems, threads, window, [&](std::size_t item) {
                {
                    const std::lock_guard lock(mutex);
                    furthestAhead = std::max(furthestAhead, item - turn);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(pause[item]));
                const std::lock_guard lock(mutex);
                finished[item] = 1;
            });
            for (std::size_t item = 0; item < kItems; ++item) {
                work.waitFor(item);
                const std::lock_guard lock(mutex);
                EXPECT_EQ(finished[item], 1) << item;
                ++turn;
                work.advance();
            }
        }
        EXPECT_LT(furthestAhead, window) << threads << " threads";
    }
}

TEST(Run, AStopHoldsForEveryScanAfterIt)
{
    const TempDir dir;
    const std::string project = writeProject(dir, "p.dvc", {"a.avi", "b.avi"});
    korvane::Run run(optionsFor({}));
    run.requestStop();
    for (int k = 0; k < 2; ++k) {
        ProjectScan scan = run.project(project);
        RecordingFeedback sink;
        EXPECT_TRUE(run.scan(scan, sink).stopped) << k;
        EXPECT_TRUE(sink.checked.empty()) << "no entry is begun after a stop";
    }
}

TEST(Run, AFreshProjectSeesWhatAppearedSinceTheRunReadTheFolder)
{
    // Enough files of one folder that the run reads the folder, and answers
    // from its names from then on.
    const TempDir dir;
    std::vector<std::string> clips;
    for (const char* name : {"a.avi", "b.avi", "c.avi", "d.avi", "e.avi", "new.avi"})
        clips.push_back(dir / (std::string("Video/") + name));
    for (std::size_t k = 0; k + 1 < clips.size(); ++k)
        dir.touch("Video/" + std::filesystem::path(clips[k]).filename().string());
    const std::string project = writeProject(dir, "p.dvc", clips);
    korvane::Run run(optionsFor({}, 1));

    RecordingFeedback before;
    ProjectScan first = run.project(project);
    run.scan(first, before);
    ASSERT_EQ(first.report().paths().size(), 1u);

    dir.touch("Video/new.avi"); // put back
    RecordingFeedback again;
    ProjectScan fresh = run.freshProject(project);
    run.scan(fresh, again);
    EXPECT_TRUE(fresh.report().paths().empty()) << again.report;
}

TEST(CatalogueAnswers, EachStoredNameFindsItsOwnAnswerWithTheIndexOrWithout)
{
    CatalogueAnswers answers;
    for (const char* stored : {"D:\\c.avi", "D:\\a.avi", "E:\\b.avi", "D:\\ab.avi"})
        answers.answers.push_back({stored, {}, false});
    for (const bool indexed : {false, true}) {
        SCOPED_TRACE(indexed);
        if (indexed)
            answers.makeIndex();
        for (const CatalogueAnswer& answer : answers.answers)
            EXPECT_EQ(answers.find(answer.stored), &answer);
        for (const char* none : {"", "D:\\", "D:\\b.avi", "Z:\\z.avi", "D:\\a.avi2"})
            EXPECT_EQ(answers.find(none), nullptr) << none;
    }
}

} // namespace
} // namespace korvane
