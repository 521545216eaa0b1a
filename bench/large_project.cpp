#include "bench/large_project.h"

#include "bench/bench_support.h"
#include "tests/builder/project_builder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <unordered_set>

namespace korvane::bench {

namespace {

using testkit::BinEntry;
using testkit::Clip;
using testkit::Effect;
using testkit::FilterEntry;
using testkit::ProjectModel;
using testkit::Title;
using testkit::TitleItem;
using testkit::VisualFilter;

// Entry counts at scale 1.
constexpr double kMainClips = 40000;
constexpr double kInsertClips = 10000;
constexpr double kExAudio1Clips = 8000;
constexpr double kExAudio2Clips = 4000;
constexpr double kEffects = 2000;
constexpr double kTitles = 5000;
constexpr double kBinEntries = 40000;

constexpr std::size_t kShortestWanted = 40;
constexpr std::size_t kLongestWanted = 120;

enum class Media { Movie, Still, Audio, Graphic };
constexpr std::size_t kMediaKinds = 4;

constexpr std::array<const char*, 6> kTops = {"Footage", "Projects", "Archive/Video", "Shared Media", "Captures",
                                              "Clients/Private"};
constexpr std::array<const char*, 16> kEvents = {
    "Smith Wedding",      "Summer Holiday Lisbon", "School Concert",        "Company Picnic",
    "Grandpa 80th",       "City Marathon",         "Christmas at Home",     "Baptism Anna",
    "Garden Party",       "Road Trip Norway",      "Football Final",        "Graduation Day",
    "Product Launch",     "Interview Series",      "Wildlife Documentary", "Band Rehearsals",
};
constexpr std::array<const char*, 9> kMovieFolders = {"Camera A", "Camera B",  "Drone",      "Handheld",
                                                      "Raw",      "Selects",   "Interviews", "B-Roll",
                                                      "Day 2 - Reception"};
constexpr std::array<const char*, 4> kStillFolders = {"Photos", "Stills", "Scans", "Photos/Edited"};
constexpr std::array<const char*, 4> kAudioFolders = {"Audio", "Music", "Sound/Voice-over", "Audio/Field Recorder"};
constexpr std::array<const char*, 3> kGraphicFolders = {"Graphics", "Titles", "Graphics/Lower Thirds"};

constexpr std::array<const char*, 7> kMovieNames = {"MVI_%04u.avi",          "Clip %u.avi",
                                                    "GOPR%04u.AVI",          "Scene %u - Take 2.avi",
                                                    "DJI_%04u.avi",          "Capture %u.avi",
                                                    "Speech of the best man, part %u (camera left).avi"};
constexpr std::array<const char*, 6> kStillNames = {"DSC%05u.JPG",  "IMG_%04u.jpg",  "Scan %u.tif",
                                                    "Poster %u.psd", "Frame %u.bmp", "Overlay %u.tga"};
constexpr std::array<const char*, 4> kAudioNames = {"Track %u - Background Music.wav", "Voice-over %u.wav",
                                                    "Ambience %u.wav", "Interview %u.wav"};
constexpr std::array<const char*, 4> kGraphicNames = {"Logo %u.tga", "Lower third %u.psd", "Frame %u.bmp",
                                                      "Map %u.bmp"};

constexpr std::array<const char*, 4> kColours = {"Black.clr", "White.clr", "Blue 50.clr", "Fade Grey.clr"};
constexpr std::array<const char*, 6> kCaptions = {"The Smith Wedding", "Chapter %u", "June %u",
                                                  "Thanks for watching", "Part %u - The Ceremony",
                                                  "Directed and edited by the family"};
constexpr std::array<const char*, 5> kVisualFilters = {"Colour balance", "Brightness", "Soft focus", "Sepia",
                                                       "Vignette"};
constexpr std::array<const char*, 3> kAudioFilters = {"Echo", "Fade in", "Equaliser"};
constexpr std::array<const char*, 4> kEffectNames = {"Cross dissolve", "Wipe left", "Page turn", "Zoom"};

std::size_t scaled(double base, double scale)
{
    return static_cast<std::size_t>(std::max(1.0, std::round(base * scale)));
}

std::string format(const char* pattern, unsigned n)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, n);
    return text;
}

// The file name without its folder and extension: what the bin shows.
std::string displayName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(name);
}

class Generator {
public:
    explicit Generator(const LargeProjectOptions& options) : options_(options), random_(options.seed) {}

    LargeProject run()
    {
        makeFolders();
        ProjectModel model;
        model.version = 519;
        mainTrack(model);
        insertTrack(model);
        extraAudio(model.exAudio1, model.exAudio1Filters, scaled(kExAudio1Clips, options_.scale));
        extraAudio(model.exAudio2, model.exAudio2Filters, scaled(kExAudio2Clips, options_.scale));
        effects(model);
        titles(model);
        bin(model);
        project_.bytes = testkit::buildProject(model);
        pathStatistics();
        return std::move(project_);
    }

private:
    void makeFolders()
    {
        const std::array<std::size_t, kMediaKinds> counts = {
            scaled(200, options_.scale), scaled(60, options_.scale), scaled(40, options_.scale),
            scaled(20, options_.scale)};
        for (std::size_t m = 0; m < kMediaKinds; ++m) {
            for (std::size_t k = 0; k < counts[m]; ++k)
                folders_[m].push_back(makeFolder(static_cast<Media>(m)));
        }
    }

    std::string makeFolder(Media media)
    {
        std::string folder = options_.root;
        folder += '/';
        folder += random_.pick(kTops);
        folder += '/';
        folder += std::to_string(random_.between(2012, 2024));
        folder += '/';
        folder += random_.pick(kEvents);
        folder += '/';
        switch (media) {
        case Media::Movie: folder += random_.pick(kMovieFolders); break;
        case Media::Still: folder += random_.pick(kStillFolders); break;
        case Media::Audio: folder += random_.pick(kAudioFolders); break;
        case Media::Graphic: folder += random_.pick(kGraphicFolders); break;
        }
        // Cards and shooting days, as copied off the camera.
        const std::size_t roll = random_.below(10);
        if (roll < 3)
            folder += format("/Card %02u", static_cast<unsigned>(random_.between(1, 12)));
        else if (roll < 6)
            folder += format("/%u-06-", static_cast<unsigned>(random_.between(2012, 2024))) +
                      format("%02u Shooting Day", static_cast<unsigned>(random_.between(1, 28)));
        return folder;
    }

    std::string makePath(Media media)
    {
        const auto m = static_cast<std::size_t>(media);
        // Most media of a kind sit in a few busy folders, as a camera's card
        // is copied to one place.
        const std::size_t folders = folders_[m].size();
        const std::size_t busy = std::max<std::size_t>(1, folders / 8);
        const std::string& folder = folders_[m][random_.chance(0.7) ? random_.below(busy) : random_.below(folders)];
        std::string path;
        for (int attempt = 0; attempt < 8; ++attempt) {
            const char* pattern = nullptr;
            switch (media) {
            case Media::Movie: pattern = random_.pick(kMovieNames); break;
            case Media::Still: pattern = random_.pick(kStillNames); break;
            case Media::Audio: pattern = random_.pick(kAudioNames); break;
            case Media::Graphic: pattern = random_.pick(kGraphicNames); break;
            }
            // The running number keeps every new path distinct.
            path = folder + '/' + format(pattern, ++fileNumber_);
            if (path.size() >= kShortestWanted && path.size() <= kLongestWanted)
                break;
            if (path.size() < kShortestWanted)
                path = folder + "/Originals/" + format(pattern, fileNumber_);
            if (path.size() >= kShortestWanted && path.size() <= kLongestWanted)
                break;
        }
        if (path.size() > 255)
            throw std::invalid_argument("the media root is too long for a stored name of at most 255 bytes");
        return path;
    }

    std::uint32_t newPath(Media media)
    {
        const auto id = static_cast<std::uint32_t>(project_.paths.size());
        project_.paths.push_back({makePath(media), !random_.chance(options_.missingShare)});
        used_[static_cast<std::size_t>(media)].push_back(id);
        return id;
    }

    // A path for a clip entry: one used before, or a new one.
    std::uint32_t clipPath(Media media)
    {
        const std::vector<std::uint32_t>& used = used_[static_cast<std::size_t>(media)];
        if (!used.empty() && random_.chance(options_.repeatShare))
            return used[random_.below(used.size())];
        return newPath(media);
    }

    std::uint32_t tested(std::uint32_t id)
    {
        project_.tests.push_back(id);
        return id;
    }

    const std::string& pathOf(std::uint32_t id) const { return project_.paths[id].path; }

    std::string bytes(std::size_t n)
    {
        std::string data(n, '\0');
        for (char& c : data)
            c = static_cast<char>(random_.next() & 0xFF);
        return data;
    }

    VisualFilter visualFilter()
    {
        VisualFilter filter;
        if (random_.chance(0.4))
            return filter; // untouched clip
        filter.block1Flag = 1;
        filter.block1Size = 4 + 4 * static_cast<std::uint32_t>(random_.between(2, 16));
        if (random_.chance(0.3)) {
            filter.block2Flag = 1;
            filter.block2Size = static_cast<std::uint32_t>(random_.between(8, 48));
        }
        if (random_.chance(0.3)) {
            filter.block3Flag = 1;
            filter.block3Size = static_cast<std::uint32_t>(random_.between(4, 32));
        }
        for (int k = random_.between(1, 3); k > 0; --k)
            filter.list1.push_back({random_.pick(kVisualFilters), bytes(static_cast<std::size_t>(random_.between(8, 64)))});
        for (int k = random_.between(0, 2); k > 0; --k)
            filter.list2.push_back({random_.pick(kVisualFilters), bytes(static_cast<std::size_t>(random_.between(8, 32)))});
        return filter;
    }

    std::vector<FilterEntry> audioFilter()
    {
        std::vector<FilterEntry> entries;
        if (random_.chance(0.5)) {
            for (int k = random_.between(1, 2); k > 0; --k)
                entries.push_back({random_.pick(kAudioFilters), bytes(static_cast<std::size_t>(random_.between(12, 40)))});
        }
        return entries;
    }

    Clip movie()
    {
        return {pathOf(tested(clipPath(Media::Movie))), "", random_.between(0, 12)};
    }

    Clip still()
    {
        const std::string& path = pathOf(tested(clipPath(Media::Still)));
        return {path, displayName(path), random_.between(0, 4)};
    }

    Clip colour() { return {random_.pick(kColours), "Colour", random_.between(0, 2)}; }

    void mainTrack(ProjectModel& model)
    {
        const std::size_t n = scaled(kMainClips, options_.scale);
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t roll = random_.below(100);
            if (roll < 74)
                model.mainAV.push_back(movie());
            else if (roll < 92)
                model.mainAV.push_back(still());
            else if (roll < 97)
                model.mainAV.push_back(colour());
            else
                model.mainAV.push_back({format("Intertitle %u", static_cast<unsigned>(k)), "", 0}); // name only
            model.mainFilters.push_back(visualFilter());
        }
        project_.clipEntries += n;
    }

    void insertTrack(ProjectModel& model)
    {
        const std::size_t n = scaled(kInsertClips, options_.scale);
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t roll = random_.below(100);
            if (roll < 70)
                model.insertAV.push_back(movie());
            else if (roll < 95)
                model.insertAV.push_back(still());
            else
                model.insertAV.push_back(colour());
            model.insertFilters.push_back(visualFilter());
        }
        project_.clipEntries += n;
    }

    void extraAudio(std::vector<Clip>& clips, std::vector<std::vector<FilterEntry>>& filters, std::size_t n)
    {
        for (std::size_t k = 0; k < n; ++k) {
            clips.push_back({pathOf(tested(clipPath(Media::Audio))), "", random_.between(0, 8)});
            filters.push_back(audioFilter());
        }
        project_.clipEntries += n;
    }

    void effects(ProjectModel& model)
    {
        const std::size_t n = scaled(kEffects, options_.scale);
        for (std::size_t k = 0; k < n; ++k)
            model.effects.push_back({random_.pick(kEffectNames), random_.between(0, 240), "Soft edge"});
        project_.effects = n;
    }

    std::string caption()
    {
        return format(random_.pick(kCaptions), static_cast<unsigned>(random_.between(1, 30)));
    }

    void titles(ProjectModel& model)
    {
        const std::size_t n = scaled(kTitles, options_.scale);
        // An item without a flag field goes by the flag the last flagged item
        // left, as the scan reads them.
        std::uint32_t lastFlag = 0;
        for (std::size_t k = 0; k < n; ++k) {
            Title title;
            const bool flagged = !random_.chance(0.1);
            title.itemLayout = flagged ? 0 : 768;
            for (int i = random_.between(2, 8); i > 0; --i) {
                TitleItem item;
                if (flagged) {
                    item.flag = random_.chance(0.35) ? 1 : static_cast<std::uint32_t>(random_.below(2) * 2);
                    lastFlag = item.flag;
                }
                if (lastFlag == 1) {
                    item.text = pathOf(tested(clipPath(Media::Graphic)));
                    item.name = "graphic";
                } else {
                    item.text = caption();
                    item.name = "caption";
                }
                title.items.push_back(std::move(item));
                ++project_.titleItems;
            }
            model.titles.push_back(std::move(title));
        }
        project_.titles = n;
    }

    void bin(ProjectModel& model)
    {
        // The bin lists media imported into the project: most of it is on
        // the tracks, some was never used.
        std::vector<std::uint32_t> onTracks;
        for (std::size_t m = 0; m < kMediaKinds; ++m) {
            if (static_cast<Media>(m) != Media::Graphic)
                onTracks.insert(onTracks.end(), used_[m].begin(), used_[m].end());
        }
        const std::size_t n = scaled(kBinEntries, options_.scale);
        for (std::size_t k = 0; k < n; ++k) {
            if (random_.chance(0.05)) {
                const std::string colourName = random_.pick(kColours);
                model.bin.push_back({displayName(colourName), colourName});
                continue;
            }
            std::uint32_t id = 0;
            if (!onTracks.empty() && random_.chance(options_.binReuseShare)) {
                id = onTracks[random_.below(onTracks.size())];
            } else {
                const std::size_t roll = random_.below(100);
                id = newPath(roll < 60 ? Media::Movie : roll < 85 ? Media::Still : Media::Audio);
            }
            const std::string& path = pathOf(tested(id));
            model.bin.push_back({displayName(path), path});
        }
        project_.binEntries = n;
    }

    void pathStatistics()
    {
        std::size_t total = 0;
        project_.shortestPath = project_.paths.empty() ? 0 : SIZE_MAX;
        for (const MediaPath& p : project_.paths) {
            project_.shortestPath = std::min(project_.shortestPath, p.path.size());
            project_.longestPath = std::max(project_.longestPath, p.path.size());
            total += p.path.size();
        }
        project_.meanPathLength =
            project_.paths.empty() ? 0 : static_cast<double>(total) / static_cast<double>(project_.paths.size());
    }

    const LargeProjectOptions& options_;
    Random random_;
    LargeProject project_;
    std::array<std::vector<std::string>, kMediaKinds> folders_;
    std::array<std::vector<std::uint32_t>, kMediaKinds> used_;
    unsigned fileNumber_ = 0;
};

} // namespace

LargeProject makeLargeProject(const LargeProjectOptions& options)
{
    if (!(options.scale > 0))
        throw std::invalid_argument("the scale must be above 0");
    for (const double share : {options.missingShare, options.repeatShare, options.binReuseShare}) {
        if (!(share >= 0 && share <= 1))
            throw std::invalid_argument("shares lie between 0 and 1");
    }
    return Generator(options).run();
}

} // namespace korvane::bench
