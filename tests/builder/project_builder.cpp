#include "tests/builder/project_builder.h"

#include "text/ascii.h"

#include <fstream>
#include <stdexcept>

namespace korvane::testkit {

ProjectBuilder& ProjectBuilder::u8(std::uint8_t v)
{
    bytes_.push_back(v);
    return *this;
}

ProjectBuilder& ProjectBuilder::u16(std::uint16_t v)
{
    return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8));
}

ProjectBuilder& ProjectBuilder::u24(std::uint32_t v)
{
    return u16(static_cast<std::uint16_t>(v)).u8(static_cast<std::uint8_t>(v >> 16));
}

ProjectBuilder& ProjectBuilder::u32(std::uint32_t v)
{
    return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16));
}

ProjectBuilder& ProjectBuilder::raw(std::string_view bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

ProjectBuilder& ProjectBuilder::filler(std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k) {
        bytes_.push_back(fill_);
        fill_ = static_cast<std::uint8_t>(fill_ * 5 + 1) | 1; // never 0
    }
    return *this;
}

ProjectBuilder& ProjectBuilder::name(std::string_view text)
{
    if (text.size() > 255)
        throw std::invalid_argument("a counted name holds at most 255 bytes");
    return u8(static_cast<std::uint8_t>(text.size())).raw(text);
}

ProjectBuilder& ProjectBuilder::header(std::uint16_t version, std::int32_t binCount, std::int32_t mainCount)
{
    u16(version).filler(2).i32(binCount).i32(mainCount).filler(4);
    if (version >= 517)
        filler(4);
    if (version >= 519)
        filler(4);
    return *this;
}

ProjectBuilder& ProjectBuilder::trailingPairs(std::int32_t pairCount)
{
    i32(pairCount).filler(4);
    for (std::int32_t k = 0; k < pairCount; ++k)
        filler(6);
    return *this;
}

ProjectBuilder& ProjectBuilder::movie(std::string_view path, std::int32_t pairCount, Track track)
{
    name(path).filler(track == Track::Main ? 8 : 12);
    return trailingPairs(pairCount);
}

ProjectBuilder& ProjectBuilder::picture(std::string_view path, std::string_view secondName, std::int32_t pairCount,
                                        Track track)
{
    name(path).filler(8);
    if (track == Track::Insert)
        filler(4);
    name(secondName);
    return trailingPairs(pairCount);
}

ProjectBuilder& ProjectBuilder::extraAudio(std::string_view path, std::int32_t pairCount)
{
    name(path).filler(12);
    return trailingPairs(pairCount);
}

ProjectBuilder& ProjectBuilder::bin(std::string_view firstName, std::string_view path)
{
    return name(firstName).name(path).filler(16);
}

ProjectBuilder& ProjectBuilder::wordBlock(std::int32_t size)
{
    i32(size);
    if (size > 0)
        filler((static_cast<std::size_t>(size) + 3) / 4 * 4);
    return *this;
}

ProjectBuilder& ProjectBuilder::effect(std::string_view name1, std::int32_t blockSize, std::string_view name2)
{
    filler(14).name(name1).filler(20).wordBlock(blockSize);
    return name(name2);
}

ProjectBuilder& ProjectBuilder::titleItem(const TitleItem& item, bool withFlag)
{
    if (withFlag)
        u32(item.flag);
    if (item.text.size() > 65535)
        throw std::invalid_argument("an item text holds at most 65535 bytes");
    if (item.text.size() < 255)
        u8(static_cast<std::uint8_t>(item.text.size()));
    else
        u8(255).u16(static_cast<std::uint16_t>(item.text.size()));
    raw(item.text).filler(36).name(item.name);
    return filler(4 * 4 + 1 + 22 * 4 + 188 + 192 + 96);
}

ProjectBuilder& ProjectBuilder::title(std::uint16_t version, const std::vector<TitleItem>& items,
                                      std::uint16_t itemLayout, std::int32_t blockSize1, std::int32_t blockSize2)
{
    filler(12).name("title").wordBlock(blockSize1).filler(4).name("font").wordBlock(blockSize2);
    if (version >= 519)
        u16(itemLayout).filler(6);
    i32(static_cast<std::int32_t>(items.size()));
    const bool withFlag = version >= 519 && itemLayout != 768;
    for (const TitleItem& item : items)
        titleItem(item, withFlag);
    return name("end");
}

ProjectBuilder& ProjectBuilder::filterEntry(const FilterEntry& entry)
{
    return name(entry.name).u32(static_cast<std::uint32_t>(entry.data.size())).raw(entry.data);
}

ProjectBuilder& ProjectBuilder::visualFilter(const VisualFilter& filter)
{
    u32(filter.block1Flag).u32(filter.block2Flag).u32(filter.block3Flag).filler(12);
    if (filter.block1Flag == 1) {
        u32(filter.block1Size);
        if (filter.block1Size > 4)
            filler(filter.block1Size - 4);
    }
    if (filter.block2Flag == 1)
        filler(4).u32(filter.block2Size).filler(filter.block2Size);
    if (filter.block3Flag == 1)
        u32(filter.block3Size).filler(filter.block3Size);
    u32(static_cast<std::uint32_t>(filter.list1.size()));
    for (const FilterEntry& entry : filter.list1)
        filterEntry(entry);
    u32(static_cast<std::uint32_t>(filter.list2.size()));
    for (const FilterEntry& entry : filter.list2)
        filterEntry(entry);
    return *this;
}

ProjectBuilder& ProjectBuilder::audioFilter(const std::vector<FilterEntry>& entries)
{
    u32(static_cast<std::uint32_t>(entries.size()));
    for (const FilterEntry& entry : entries)
        filterEntry(entry);
    return *this;
}

namespace {

// The last three bytes, ASCII letters folded to lower case.
std::string endingOf(std::string_view path)
{
    std::string tail(path.substr(path.size() < 3 ? 0 : path.size() - 3));
    lowerAscii(tail);
    return tail;
}

bool isPicture(std::string_view path)
{
    const std::string e = endingOf(path);
    return e == "bmp" || e == "jpg" || e == "tif" || e == "psd" || e == "tga" || e == "clr";
}

void clips(ProjectBuilder& b, const std::vector<Clip>& list, Track track)
{
    for (const Clip& clip : list) {
        if (endingOf(clip.path) == "avi")
            b.movie(clip.path, clip.pairCount, track);
        else if (isPicture(clip.path))
            b.picture(clip.path, clip.secondName, clip.pairCount, track);
        else
            b.name(clip.path);
    }
}

std::int32_t countOf(std::size_t n)
{
    return static_cast<std::int32_t>(n);
}

} // namespace

std::vector<std::uint8_t> buildProject(const ProjectModel& m)
{
    ProjectBuilder b;
    b.header(m.version, countOf(m.bin.size()), countOf(m.mainAV.size()));
    if (!m.mainAV.empty()) {
        clips(b, m.mainAV, Track::Main);
        b.count(countOf(m.insertAV.size()));
        clips(b, m.insertAV, Track::Insert);
        b.count(countOf(m.exAudio1.size()));
        for (const Clip& clip : m.exAudio1)
            b.extraAudio(clip.path, clip.pairCount);
        b.count(countOf(m.exAudio2.size()));
        for (const Clip& clip : m.exAudio2)
            b.extraAudio(clip.path, clip.pairCount);
        if (m.version >= 512) {
            b.count(countOf(m.effects.size()));
            for (const Effect& e : m.effects)
                b.effect(e.name1, e.blockSize, e.name2);
            b.count(countOf(m.titles.size()));
            for (const Title& t : m.titles)
                b.title(m.version, t.items, t.itemLayout);
        }
        if (m.version >= 519) {
            const auto visual = [&](const std::vector<VisualFilter>& filters, std::size_t n) {
                for (std::size_t k = 0; k < n; ++k)
                    b.visualFilter(k < filters.size() ? filters[k] : VisualFilter{});
            };
            const auto audio = [&](const std::vector<std::vector<FilterEntry>>& filters, std::size_t n) {
                for (std::size_t k = 0; k < n; ++k)
                    b.audioFilter(k < filters.size() ? filters[k] : std::vector<FilterEntry>{});
            };
            visual(m.mainFilters, m.mainAV.size());
            visual(m.insertFilters, m.insertAV.size());
            audio(m.exAudio1Filters, m.exAudio1.size());
            audio(m.exAudio2Filters, m.exAudio2.size());
        }
    }
    for (const BinEntry& entry : m.bin)
        b.bin(entry.firstName, entry.path);
    return b.bytes();
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

} // namespace korvane::testkit
