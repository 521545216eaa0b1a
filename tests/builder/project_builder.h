#pragma once

// Builds project files byte by byte for tests, samples, benchmarks and fuzz
// seeds. Fields the scanner skips are filled with non-zero bytes, so that a
// reader that is one byte off reads garbage instead of convenient zeros.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::testkit {

enum class Track { Main, Insert };

struct TitleItem {
    std::string text = {};
    std::uint32_t flag = 0;  // written only where the layout has the field
    std::string name = {};   // the item's counted name, never tested
};

struct FilterEntry {
    std::string name = {};
    std::string data = {};
};

struct VisualFilter {
    std::uint32_t block1Flag = 0, block2Flag = 0, block3Flag = 0;
    std::uint32_t block1Size = 4, block2Size = 0, block3Size = 0;
    std::vector<FilterEntry> list1 = {}, list2 = {};
};

// The low-level builder: one call per field or record, in file order.
class ProjectBuilder {
public:
    ProjectBuilder& u8(std::uint8_t v);
    ProjectBuilder& u16(std::uint16_t v);
    ProjectBuilder& u24(std::uint32_t v);
    ProjectBuilder& u32(std::uint32_t v);
    ProjectBuilder& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    ProjectBuilder& raw(std::string_view bytes);
    ProjectBuilder& filler(std::size_t n); // n skipped bytes, non-zero
    // A counted name: length byte and bytes (at most 255).
    ProjectBuilder& name(std::string_view text);

    // 16, 20 or 24 bytes by version.
    ProjectBuilder& header(std::uint16_t version, std::int32_t binCount, std::int32_t mainCount);
    ProjectBuilder& count(std::int32_t n) { return i32(n); }

    // Clip records, laid out by the kind of `path`.
    ProjectBuilder& movie(std::string_view path, std::int32_t pairCount = 0, Track track = Track::Main);
    ProjectBuilder& picture(std::string_view path, std::string_view secondName = "", std::int32_t pairCount = 0,
                            Track track = Track::Main);
    ProjectBuilder& extraAudio(std::string_view path, std::int32_t pairCount = 0);
    ProjectBuilder& bin(std::string_view firstName, std::string_view path);
    ProjectBuilder& effect(std::string_view name1 = "", std::int32_t blockSize = 0, std::string_view name2 = "");
    // Items carry their flag field when version >= 519 and itemLayout != 768.
    ProjectBuilder& title(std::uint16_t version, const std::vector<TitleItem>& items, std::uint16_t itemLayout = 0,
                          std::int32_t blockSize1 = 0, std::int32_t blockSize2 = 0);
    ProjectBuilder& titleItem(const TitleItem& item, bool withFlag);
    ProjectBuilder& visualFilter(const VisualFilter& filter);
    ProjectBuilder& audioFilter(const std::vector<FilterEntry>& entries);
    ProjectBuilder& filterEntry(const FilterEntry& entry);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

private:
    ProjectBuilder& trailingPairs(std::int32_t pairCount);
    ProjectBuilder& wordBlock(std::int32_t size);

    std::vector<std::uint8_t> bytes_;
    std::uint8_t fill_ = 0x5A;
};

// A whole project; buildProject writes the counts and the sections in file
// order. Filter records missing from the lists are written empty.
struct Clip {
    std::string path = {};
    std::string secondName = {}; // of still images and colour clips
    std::int32_t pairCount = 0;
};

struct Effect {
    std::string name1 = {};
    std::int32_t blockSize = 0;
    std::string name2 = {};
};

struct Title {
    std::vector<TitleItem> items = {};
    std::uint16_t itemLayout = 0;
};

struct BinEntry {
    std::string firstName = {};
    std::string path = {};
};

struct ProjectModel {
    std::uint16_t version = 519;
    std::vector<Clip> mainAV, insertAV, exAudio1, exAudio2;
    std::vector<Effect> effects;
    std::vector<Title> titles;
    std::vector<VisualFilter> mainFilters, insertFilters;
    std::vector<std::vector<FilterEntry>> exAudio1Filters, exAudio2Filters;
    std::vector<BinEntry> bin;
};

std::vector<std::uint8_t> buildProject(const ProjectModel& model);

// Writes bytes to a file; throws on failure.
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace korvane::testkit
