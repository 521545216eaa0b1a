// korvane-scan --restore, --apply and --undo on real folder trees: which
// missing files are put back and why the others are left, what --apply
// makes and records, and what --undo takes away; the project itself is
// never touched.

#include "tests/builder/project_builder.h"
#include "tests/paths/scoped_env.h"
#include "tests/cli/own_settings.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::buildProject;
using Json = nlohmann::json;
using testkit::ProcessResult;
using testkit::ProjectModel;
using testkit::scan;
using testkit::ScopedEnv;
using testkit::TempDir;
using testkit::writeFile;

std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct FileState {
    std::string content;
    timespec mtime{};
    bool operator==(const FileState& o) const
    {
        return content == o.content && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

FileState stateOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return {contentOf(path), st.st_mtim};
}

ino_t inodeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A folder mounted for the life of the object: a tmpfs of its own, or
// `source` bound read-only. Mounting needs privileges a test run may not
// have: then `mounted` is false.
class ScopedMount {
public:
    static ScopedMount tmpfs(const std::string& at)
    {
        return ScopedMount(at, ::mount("korvane-test", at.c_str(), "tmpfs", 0, "size=16m") == 0);
    }
    static ScopedMount readOnly(const std::string& at)
    {
        if (::mount(at.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return ScopedMount(at, false);
        ScopedMount bound(at, true);
        bound.mounted = ::mount(nullptr, at.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        if (!bound.mounted)
            ::umount2(at.c_str(), MNT_DETACH);
        return bound;
    }
    ScopedMount(ScopedMount&& other) noexcept : at_(other.at_), mounted(std::exchange(other.mounted, false)) {}
    ~ScopedMount()
    {
        if (mounted)
            ::umount2(at_.c_str(), MNT_DETACH);
    }

private:
    ScopedMount(std::string at, bool done) : at_(std::move(at)), mounted(done) {}
    std::string at_;

public:
    bool mounted = false;
};

// Every run sees settings and a state folder for its journals of its own
// (OwnSettings).
class Restore : public ::testing::Test, protected testkit::OwnSettings {
protected:
    std::string driveD() const { return dir / "d"; }
    std::string mapD() const { return "D:=" + driveD(); }
    std::vector<fs::path> journals() const
    {
        std::vector<fs::path> found;
        const fs::path folder = home.path() / "state" / "korvane";
        if (fs::exists(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                found.push_back(entry.path());
        return found;
    }
};

// Each kind of missing file, and what the plan says of it, by stored path.
struct Expected {
    std::string action;
    std::string reason; // empty for put back
};

TEST_F(Restore, PlanPutsBackOnlyWhatStandsAloneOrIsOneFileAndApplyThenUndoLeaveTheProjectAlone)
{
    fs::create_directories(driveD() + "/WEDDING/CamA"); // another case: used as it is
    const std::map<std::string, Expected> cases = {
        // A whole moved folder: two files, and one of them also once elsewhere, with fewer folders in common.
        {"D:\\Wedding\\CamA\\v01.AVI", {"put-back", ""}},
        {"D:\\Wedding\\CamA\\v02.avi", {"put-back", ""}},
        {"D:\\Wedding\\CamB\\deep\\v03.avi", {"put-back", ""}},
        {"D:\\Music\\same.avi", {"put-back", ""}},     // two identical copies
        {"D:\\Music\\twins.avi", {"left", "different-files"}}, // same size, other content
        {"D:\\Music\\sizes.avi", {"left", "different-files"}},
        {"D:\\Video\\edit.avi", {"left", "other-extension"}},
        {"D:\\Video\\closer.avi", {"left", "other-extension"}}, // the transcode shares more folders
        {"D:\\Video\\beside.avi", {"put-back", ""}},            // a transcode beside it is passed over
        {"D:\\Video\\lost.avi", {"left", "not-found"}},
        {"E:\\Clips\\unmapped.avi", {"left", "no-mapping"}},
    };
    dir.touch("new/Wedding/CamA/v01.avi", "v01 content");
    dir.touch("new/Wedding/CamA/v02.avi", "v02");
    dir.touch("new/Wedding/CamB/deep/v03.avi", "v03");
    dir.touch("new/old/v02.avi", "an older v02");
    dir.touch("new/a/same.avi", "same");
    dir.touch("new/b/same.avi", "same");
    dir.touch("new/a/twins.avi", "abcd");
    dir.touch("new/b/twins.avi", "wxyz");
    dir.touch("new/a/sizes.avi", "1");
    dir.touch("new/b/sizes.avi", "22");
    dir.touch("new/c/sizes.avi", "333");
    dir.touch("new/Video/edit.mp4", "transcoded");
    dir.touch("new/Video/closer.mp4", "transcoded");
    dir.touch("new/elsewhere/closer.avi", "closer");
    dir.touch("new/Video/beside.avi", "beside");
    dir.touch("new/Video/beside.mov", "transcoded");
    dir.touch("new/Clips/unmapped.avi", "unmapped");
    std::vector<std::string> stored;
    for (const auto& [path, expected] : cases)
        stored.push_back(path);
    const std::string file = project(stored);
    const FileState before = stateOf(file);
    const std::string search = dir / "new";

    const ProcessResult planned = scan({"--json", "--map", mapD(), "--search", search, "--restore", file});
    ASSERT_EQ(planned.status, 1) << planned.err;
    const Json plan = Json::parse(planned.out).at("restore");
    EXPECT_FALSE(plan.at("applied").get<bool>());
    EXPECT_EQ(plan.at("put_back"), 5);
    std::map<std::string, Json> steps;
    for (const Json& step : plan.at("steps"))
        steps[step.at("decoded").get<std::string>()] = step;
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(steps.contains(path));
        EXPECT_EQ(steps[path].at("action"), expected.action);
        const Json& reason = steps[path].at("reason");
        EXPECT_EQ(reason.is_null() ? "" : reason.get<std::string>(), expected.reason);
    }
    EXPECT_EQ(steps["D:\\Wedding\\CamA\\v02.avi"].at("source"), search + "/Wedding/CamA/v02.avi");
    EXPECT_EQ(steps["D:\\Wedding\\CamA\\v01.AVI"].at("destination"), driveD() + "/WEDDING/CamA/v01.AVI");
    EXPECT_EQ(steps["D:\\Music\\sizes.avi"].at("sizes"), Json({1, 2, 3}));
    EXPECT_EQ(steps["D:\\Music\\twins.avi"].at("sizes"), Json({4, 4}));
    EXPECT_FALSE(fs::exists(driveD() + "/Music")) << "a plan changes nothing";
    EXPECT_TRUE(journals().empty());

    const ProcessResult applied = scan({"--map", mapD(), "--search", search, "--restore", "--apply", file});
    EXPECT_EQ(applied.status, 1) << "the status of the scan after: files are left\n" << applied.err;
    EXPECT_NE(applied.out.find("Put back 5 files (5 linked, 0 copied); 0 bytes copied.\r\n"), std::string::npos)
        << applied.out;
    const std::size_t after = applied.out.find("\r\nAfter putting back\r\n[MainAV]\r\n");
    ASSERT_NE(after, std::string::npos) << applied.out;
    EXPECT_EQ(applied.out.find("v01.AVI", after), std::string::npos) << "put back, so no longer missing";
    EXPECT_NE(applied.out.find("D:\\Video\\lost.avi", after), std::string::npos);
    EXPECT_EQ(contentOf(driveD() + "/WEDDING/CamA/v01.AVI"), "v01 content");
    EXPECT_EQ(inodeOf(driveD() + "/WEDDING/CamA/v01.AVI"), inodeOf(search + "/Wedding/CamA/v01.avi"))
        << "one file system: a hard link";
    EXPECT_EQ(contentOf(driveD() + "/WEDDING/CamB/deep/v03.avi"), "v03");
    EXPECT_EQ(contentOf(driveD() + "/Music/same.avi"), "same");
    const std::vector<fs::path> written = journals();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(applied.err.find(written.front().string()), std::string::npos) << "stderr names the journal";

    const ProcessResult undone = scan({"--undo", written.front().string()});
    EXPECT_EQ(undone.status, 0) << undone.out;
    EXPECT_EQ(undone.out, "Removed 5 files and 4 folders.\n");
    EXPECT_FALSE(fs::exists(driveD() + "/Music"));
    EXPECT_FALSE(fs::exists(driveD() + "/WEDDING/CamB"));
    EXPECT_TRUE(fs::exists(driveD() + "/WEDDING/CamA")) << "a folder that was there before stays";
    EXPECT_EQ(contentOf(search + "/Wedding/CamA/v01.avi"), "v01 content") << "the sources stay";

    const ProcessResult twice = scan({"--undo", written.front().string()});
    EXPECT_EQ(twice.status, 0);
    EXPECT_EQ(twice.out, "Removed 0 files and 0 folders; 9 already gone.\n");
    EXPECT_EQ(stateOf(file), before) << "the project is never written";
}

TEST_F(Restore, ReadOnlyDestinationFolderIsLeft)
{
    fs::create_directories(driveD() + "/Video");
    dir.touch("new/Video/clip.avi", "clip");
    const std::string file = project({"D:\\Video\\clip.avi"});
    const ScopedMount readOnly = ScopedMount::readOnly(driveD());
    if (!readOnly.mounted) {
        if (::geteuid() == 0)
            GTEST_SKIP() << "needs a read-only bind mount: root may write in any folder, and mounting is not allowed";
        fs::permissions(driveD() + "/Video", fs::perms::owner_read | fs::perms::owner_exec);
    }
    const ProcessResult r = scan({"--json", "--map", mapD(), "--search", dir / "new", "--restore", "--apply", file});
    const Json step = Json::parse(r.out.substr(0, r.out.find('\n'))).at("restore").at("steps").at(0);
    EXPECT_EQ(step.at("action"), "left");
    EXPECT_EQ(step.at("reason"), "not-writable");
    EXPECT_NE(step.at("reason_text").get<std::string>().find(driveD() + "/Video"), std::string::npos);
    EXPECT_EQ(r.status, 1);
    if (!readOnly.mounted)
        fs::permissions(driveD() + "/Video", fs::perms::owner_all);
}

// Places a project could use to write where it must not: a disk that is
// not mounted, hidden folders, names that are not Windows paths outside
// every folder named for them. They are left, and --apply writes nothing
// there; a place whose folder's name is not UTF-8 goes back, named in the
// JSON document byte for byte.
TEST_F(Restore, PlacesOutsideTheirRootsAreLeftAndNeverWritten)
{
    const std::string usb = dir / "media/usbdisk/Video";
    const std::string odd = dir / "f\xff%";
    fs::create_directories(odd);
    const std::map<std::string, std::string> cases = {
        {"E:\\Video\\clip.avi", "not-mounted"},
        {"D:\\.config\\autostart\\x.desktop", "hidden-name"},
        {dir / "home/.profile", "outside-root"},
        {"../../../../home/.ssh/authorized_keys", "outside-root"},
        {"F:\\a.avi", ""},
    };
    for (const char* name : {"clip.avi", "x.desktop", ".profile", "authorized_keys", "a.avi"})
        dir.touch(std::string("new/") + name, "found");
    std::vector<std::string> stored;
    for (const auto& [path, reason] : cases)
        stored.push_back(path);
    const std::string file = project(stored);
    const ProcessResult r = scan({"--json", "--map", mapD(), "--map", "E:=" + usb, "--map", "F:=" + odd, "--search",
                                  dir / "new", "--restore", "--apply", file});
    const Json restore = Json::parse(r.out.substr(0, r.out.find('\n'))).at("restore");
    for (const Json& step : restore.at("steps")) {
        const std::string path = step.at("stored").get<std::string>();
        SCOPED_TRACE(path);
        const std::string reason = cases.at(step.at("decoded").get<std::string>());
        EXPECT_EQ(step.at("reason").is_null() ? "" : step.at("reason").get<std::string>(), reason)
            << step.at("reason_text");
    }
    EXPECT_EQ(restore.at("steps").back().at("destination"), dir / "f%FF%25/a.avi");
    EXPECT_EQ(contentOf(odd + "/a.avi"), "found");
    EXPECT_FALSE(fs::exists(dir / "media")) << "the missing disk's folder is never made";
    EXPECT_FALSE(fs::exists(driveD() + "/.config"));
    EXPECT_FALSE(fs::exists(dir / "home"));
}

// Another client's card of the same structure and two days of another
// camera hold the clip's name: nothing tells them apart, so the plan lists
// them for the user and puts none back, and no mapping is suggested for
// it; --prefer puts back exactly the tree preferred.
TEST_F(Restore, DifferentFilesNothingTellsApartAreListedAndPreferChoosesATree)
{
    const std::string search = dir / "new";
    fs::create_directories(driveD());
    dir.touch("new/Archive/2023-09-02_Kunde_B/KarteA/PRIVATE/M4ROOT/CLIP/C0001.avi", "client B");
    dir.touch("new/Footage/2024-06-08/FX6/C0001.avi", "the 8th");
    dir.touch("new/Footage/2024-06-09/FX6/C0001.avi", "the 9th");
    const std::string file = project({"D:\\Karten\\Kunde_A\\KarteA\\PRIVATE\\M4ROOT\\CLIP\\C0001.avi"});

    const ProcessResult text = scan({"--map", mapD(), "--search", search, "--restore", file});
    EXPECT_NE(text.out.find("    left: 3 different files found (8, 7 and 7 bytes); nothing tells them apart: "
                            "--prefer FOLDER chooses\r\n        " +
                            search + "/Archive/2023-09-02_Kunde_B/KarteA/PRIVATE/M4ROOT/CLIP/C0001.avi (8 bytes, "
                                     "modified "),
              std::string::npos)
        << text.out;
    const ProcessResult json = scan({"--json", "--map", mapD(), "--search", search, "--restore", file});
    const Json doc = Json::parse(json.out);
    EXPECT_EQ(doc.at("restore").at("steps").at(0).at("choices").size(), 3u);
    EXPECT_TRUE(doc.at("mappings").empty()) << "no mapping sends the clip to one of them";

    const ProcessResult preferred = scan({"--map", mapD(), "--search", search, "--prefer",
                                          search + "/Footage/2024-06-08", "--restore", "--apply", file});
    EXPECT_EQ(preferred.status, 0) << preferred.out << preferred.err;
    EXPECT_EQ(contentOf(driveD() + "/Karten/Kunde_A/KarteA/PRIVATE/M4ROOT/CLIP/C0001.avi"), "the 8th");
}

TEST_F(Restore, CopiesAcrossFileSystemsAndWhenAsked)
{
    struct Case {
        std::string name;
        bool secondFileSystem;
        std::vector<std::string> extra;
    };
    for (const Case& c : {Case{"--copy", false, {"--copy"}}, Case{"tmpfs", true, {}}}) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        fs::create_directories(tree / "d");
        std::optional<ScopedMount> second;
        if (c.secondFileSystem) {
            second.emplace(ScopedMount::tmpfs(tree / "d"));
            if (!second->mounted) {
                std::cout << "[  SKIPPED ] a second file system: mounting a tmpfs is not allowed\n";
                continue;
            }
        }
        const std::string content(300000, 'k');
        tree.touch("new/Video/clip.avi", content);
        ProjectModel model;
        model.mainAV.push_back({"D:\\Video\\clip.avi"});
        const std::string file = tree / "p.dvc";
        writeFile(file, buildProject(model));
        std::vector<std::string> args = {"--json", "--map", "D:=" + (tree / "d"), "--search", tree / "new",
                                         "--restore", "--apply"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back(file);
        const ProcessResult r = scan(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const Json restore = Json::parse(r.out.substr(0, r.out.find('\n'))).at("restore");
        EXPECT_EQ(restore.at("steps").at(0).at("outcome"), "copied");
        EXPECT_EQ(restore.at("bytes_copied"), content.size());
        EXPECT_EQ(contentOf(tree / "d/Video/clip.avi"), content);
        EXPECT_NE(inodeOf(tree / "d/Video/clip.avi"), inodeOf(tree / "new/Video/clip.avi"));
        for (const auto& entry : fs::directory_iterator(tree / "d/Video"))
            EXPECT_EQ(entry.path().filename(), "clip.avi") << "no temporary is left";
        EXPECT_EQ(Json::parse(r.out.substr(r.out.find('\n') + 1)).at("missing").size(), 0u)
            << "the scan after finds the file";
    }
}

TEST_F(Restore, OptionsThatCannotWorkTogetherAreRefused)
{
    const std::string file = project({"D:\\a.avi"});
    const std::string search = dir.path().string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--restore", file}, "--restore puts back what --search finds"},
        {{"--search", search, "--apply", file}, "--apply carries out the plan of --restore"},
        {{"--search", search, "--restore", "--copy", file}, "--copy says how --apply puts files back"},
        {{"--search", search, "--restore", file, file}, "--restore acts on one project"},
        {{"--search", search, "--restore", search}, "--restore acts on one project"},
        {{"--undo", "j", file}, "--undo JOURNAL is given alone"},
    };
    for (const auto& [args, message] : cases) {
        const ProcessResult r = scan(args);
        EXPECT_EQ(r.status, 2) << args.front();
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    const ProcessResult notJournal = scan({"--undo", file});
    EXPECT_EQ(notJournal.status, 2);
    EXPECT_NE(notJournal.err.find("not a journal"), std::string::npos) << notJournal.err;
}

} // namespace
} // namespace korvane
