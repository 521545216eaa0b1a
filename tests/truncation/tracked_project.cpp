#include "tests/truncation/tracked_project.h"

#include "tests/builder/project_builder.h"

#include <functional>
#include <stdexcept>

namespace korvane::testkit {

const Region& TrackedProject::regionAt(std::size_t offset) const
{
    for (const Region& region : regions) {
        if (offset >= region.begin && offset < region.end)
            return region;
    }
    throw std::out_of_range("no region holds offset " + std::to_string(offset));
}

std::vector<std::string> headingsOf(std::uint16_t version)
{
    std::vector<std::string> headings = {"[MainAV]", "[InsertAV]", "[ExAudio1]", "[ExAudio2]"};
    if (version >= 512)
        headings.push_back("[Title]");
    headings.push_back("[BinWindow]");
    return headings;
}

namespace {

// Writes the project entry by entry and notes where each one lies.
class Tracker {
public:
    ProjectBuilder& builder() { return builder_; }

    // One region written by `write`.
    Region& region(std::string heading, std::vector<std::string> where, std::vector<std::string> names,
                   const std::function<void()>& write)
    {
        Region r;
        r.begin = builder_.size();
        write();
        r.end = builder_.size();
        r.heading = std::move(heading);
        r.where = std::move(where);
        r.names = std::move(names);
        project_.regions.push_back(std::move(r));
        return project_.regions.back();
    }

    void count(const std::string& section, std::int32_t n)
    {
        region("", {section, "count"}, {}, [&] { builder_.count(n); });
    }

    // Entry j (from 1) of its section.
    Region& entry(const std::string& heading, const std::string& section, int j, std::vector<std::string> names,
                  const std::function<void()>& write)
    {
        return region(heading, {section, "entry " + std::to_string(j)}, std::move(names), write);
    }

    void missing(const std::string& heading, const std::string& path, std::size_t entryEnd)
    {
        project_.missing.push_back({heading, path, entryEnd});
    }

    // Notes a missing path whose entry is the one just written.
    void missingInLastEntry(const std::string& path)
    {
        const Region& last = project_.regions.back();
        missing(last.heading, path, last.end);
    }

    std::size_t size() const { return builder_.size(); }

    TrackedProject finish()
    {
        project_.bytes = builder_.bytes();
        return std::move(project_);
    }

    void present(const std::string& path) { project_.present.push_back(path); }

private:
    ProjectBuilder builder_;
    TrackedProject project_;
};

// The media of the wedding project: some present, some missing, one on a
// drive without a mapping.
struct WeddingMedia {
    explicit WeddingMedia(const std::string& m) : media(m) {}
    std::string media;
    std::string ceremony = media + "Ceremony.avi", vows = media + "Vows.AVI", rings = media + "Rings.jpg",
                toast = media + "Toast.bmp", speech = "D:\\Video\\Speech.avi", cutaway = media + "Cutaway.avi",
                guests = media + "Guests.tga", dance = media + "FirstDance.wav", waltz = "D:\\Music\\Waltz.wav",
                applause = media + "Applause.wav", frame = media + "Frame.bmp", hearts = media + "Hearts.tga",
                logo = media + "Logo.psd", credits = media + "Credits.bmp",
                longPath = media + std::string(300 - media.size() - 4, 'L') + ".bmp",
                binSpeech = "D:\\Audio\\Speech.wav";
};

constexpr std::int32_t kMainCount = 7;

// MainAV: present and missing movies and stills, a colour clip, a name of
// no known kind; a still whose second name names a missing movie. Then the
// insert and extra audio tracks and the effects.
void addTracks(Tracker& t, const WeddingMedia& m)
{
    ProjectBuilder& b = t.builder();
    const std::string main = "[MainAV]";
    t.entry(main, "MainAV", 1, {m.ceremony}, [&] { b.movie(m.ceremony, 2); });
    t.entry(main, "MainAV", 2, {m.vows}, [&] { b.movie(m.vows, 1); });
    t.missingInLastEntry(m.vows);
    t.entry(main, "MainAV", 3, {m.rings}, [&] { b.picture(m.rings, "Rings"); });
    t.entry(main, "MainAV", 4, {}, [&] { b.picture("Black.clr", "Black"); });
    t.entry(main, "MainAV", 5, {m.toast}, [&] { b.picture(m.toast, m.media + "Toast.avi", 3); });
    t.missingInLastEntry(m.toast);
    t.entry(main, "MainAV", 6, {}, [&] { b.name("Intertitle"); });
    t.entry(main, "MainAV", 7, {m.speech}, [&] { b.movie(m.speech); });
    t.missingInLastEntry(m.speech);

    const std::string insert = "[InsertAV]";
    t.count("InsertAV", 2);
    t.entry(insert, "InsertAV", 1, {m.cutaway}, [&] { b.movie(m.cutaway, 1, Track::Insert); });
    t.entry(insert, "InsertAV", 2, {m.guests}, [&] { b.picture(m.guests, "Guests", 2, Track::Insert); });
    t.missingInLastEntry(m.guests);

    const std::string ex1 = "[ExAudio1]", ex2 = "[ExAudio2]";
    t.count("ExAudio1", 2);
    t.entry(ex1, "ExAudio1", 1, {m.dance}, [&] { b.extraAudio(m.dance, 2); });
    t.entry(ex1, "ExAudio1", 2, {m.waltz}, [&] { b.extraAudio(m.waltz); });
    t.missingInLastEntry(m.waltz);
    t.count("ExAudio2", 1);
    t.entry(ex2, "ExAudio2", 1, {m.applause}, [&] { b.extraAudio(m.applause, 1); });
    t.missingInLastEntry(m.applause);

    t.count("Effect", 2);
    t.entry("", "Effect", 1, {}, [&] { b.effect("Cross dissolve", 6, "Soft"); });
    t.entry("", "Effect", 2, {}, [&] { b.effect("Wipe", -1, ""); });
}

// One title. Its items are read one after the other and each flagged text
// is tested as soon as it is read, so an item is the entry that must lie
// wholly before a cut for its path to be listed.
void addTitle(Tracker& t, int j, const std::vector<TitleItem>& items, std::uint16_t layout,
              const std::vector<std::string>& tested, const std::vector<std::string>& missing)
{
    ProjectBuilder& b = t.builder();
    const std::string title = "[Title]";
    std::vector<std::size_t> itemEnds, textMiddles;
    Region& r = t.entry(title, "Title", j, tested, [&] {
        b.filler(12).name("title").count(4).filler(4).filler(4).name("font").count(0);
        b.u16(layout).filler(6).count(static_cast<std::int32_t>(items.size()));
        for (const TitleItem& item : items) {
            const std::size_t flagAndLength = (layout != 768 ? 4u : 0u) + (item.text.size() < 255 ? 1u : 3u);
            textMiddles.push_back(t.size() + flagAndLength + item.text.size() / 2);
            b.titleItem(item, layout != 768);
            itemEnds.push_back(t.size());
        }
        b.name("end");
    });
    r.inner = textMiddles;
    for (std::size_t k = 0; k < items.size(); ++k) {
        for (const std::string& path : missing) {
            if (items[k].text == path)
                t.missing(title, path, itemEnds[k]);
        }
    }
}

void addTitles(Tracker& t, const WeddingMedia& m)
{
    t.count("Title", 4);
    addTitle(t, 1, {{"Our Wedding", 0, "caption"}, {m.frame, 1, "frame"}, {m.hearts, 1, "hearts"}}, 0,
             {m.frame, m.hearts}, {m.hearts});
    // No flag fields: the item goes by the flag the last title left (1).
    addTitle(t, 2, {{m.logo, 0, "logo"}}, 768, {m.logo}, {m.logo});
    addTitle(t, 3, {{"The End", 2, "caption"}, {m.longPath, 1, "long"}}, 0, {m.longPath}, {m.longPath});
    addTitle(t, 4, {{m.credits, 0, "credits"}}, 768, {m.credits}, {m.credits});
}

// Filters: one record per clip, nothing tested.
void addFilters(Tracker& t, const WeddingMedia& m)
{
    ProjectBuilder& b = t.builder();
    const std::vector<VisualFilter> mainFilters = {
        {1, 1, 1, 12, 5, 3, {{"Colour", "sepia"}}, {{m.media + "Vignette.bmp", "strength"}}},
        {}, {2, 0, 0xFFFFFFFF, 0, 0, 0, {}, {}}, {}, {1, 0, 0, 2, 0, 0, {}, {}}, {}, {},
    };
    for (int j = 1; j <= kMainCount; ++j) {
        t.region("", {"FilterVisual", "MainAV", "entry " + std::to_string(j)}, {},
                 [&] { b.visualFilter(mainFilters[static_cast<std::size_t>(j - 1)]); });
    }
    t.region("", {"FilterVisual", "InsertAV", "entry 1"}, {}, [&] { b.visualFilter({0, 0, 1, 0, 0, 8, {}, {}}); });
    t.region("", {"FilterVisual", "InsertAV", "entry 2"}, {}, [&] { b.visualFilter({}); });
    t.region("", {"FilterAudio", "ExAudio1", "entry 1"}, {},
             [&] { b.audioFilter({{m.media + "Echo.wav", "echo settings"}}); });
    t.region("", {"FilterAudio", "ExAudio1", "entry 2"}, {}, [&] { b.audioFilter({}); });
    t.region("", {"FilterAudio", "ExAudio2", "entry 1"}, {}, [&] { b.audioFilter({{"Fade", ""}}); });
}

// The bin tests its second names, all but colour clips.
void addBin(Tracker& t, const WeddingMedia& m)
{
    ProjectBuilder& b = t.builder();
    const std::string bin = "[BinWindow]";
    t.entry(bin, "BinWindow", 1, {m.ceremony}, [&] { b.bin("Ceremony", m.ceremony); });
    t.entry(bin, "BinWindow", 2, {m.vows}, [&] { b.bin("Vows", m.vows); });
    t.missingInLastEntry(m.vows);
    t.entry(bin, "BinWindow", 3, {"Black.clr"}, [&] { b.bin("Black", "Black.clr"); });
    t.entry(bin, "BinWindow", 4, {m.binSpeech}, [&] { b.bin(m.media + "Speech.wav", m.binSpeech); });
    t.missingInLastEntry(m.binSpeech);
    t.entry(bin, "BinWindow", 5, {m.frame}, [&] { b.bin("Frame", m.frame); });
}

} // namespace

TrackedProject buildWeddingProject(const std::string& media)
{
    constexpr std::uint16_t version = 519;
    constexpr std::int32_t binCount = 5;
    const WeddingMedia m(media);
    Tracker t;
    for (const std::string& path : {m.ceremony, m.rings, m.cutaway, m.dance, m.frame})
        t.present(path);
    t.region("", {"header"}, {}, [&] { t.builder().header(version, binCount, kMainCount); });
    addTracks(t, m);
    addTitles(t, m);
    addFilters(t, m);
    addBin(t, m);
    return t.finish();
}

} // namespace korvane::testkit
