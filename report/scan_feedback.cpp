#include "report/scan_feedback.h"

#include <array>
#include <charconv>
#include <string>

namespace korvane {

namespace {

// Room for "[", "] ", " / " and two signed 32-bit numbers besides the label.
constexpr std::size_t kStatusFrame = 1 + 2 + 3 + 2 * 11;
constexpr std::size_t kShortLabel = 64;

char* writeStatus(char* out, std::string_view label, std::int32_t entry, std::int32_t count)
{
    *out++ = '[';
    out += label.copy(out, label.size());
    *out++ = ']';
    *out++ = ' ';
    out = std::to_chars(out, out + 11, entry).ptr;
    *out++ = ' ';
    *out++ = '/';
    *out++ = ' ';
    return std::to_chars(out, out + 11, count).ptr;
}

} // namespace

void ScanFeedback::beginSection(std::string_view name)
{
    std::string heading;
    heading.reserve(name.size() + 2 + kLineEnd.size());
    heading.append("[").append(name).append("]").append(kLineEnd);
    appendReport(heading);
}

void ScanFeedback::missingFile(std::string_view path)
{
    appendReport(path);
    appendReport(kLineEnd);
}

void ScanFeedback::entryStatus(std::string_view label, std::int32_t entry, std::int32_t count)
{
    // Called once for every entry of a scan: the text is built on the stack.
    if (label.size() <= kShortLabel) {
        std::array<char, kShortLabel + kStatusFrame> text;
        const char* end = writeStatus(text.data(), label, entry, count);
        setStatus({text.data(), static_cast<std::size_t>(end - text.data())});
        return;
    }
    std::string text(label.size() + kStatusFrame, '\0');
    const char* end = writeStatus(text.data(), label, entry, count);
    setStatus({text.data(), static_cast<std::size_t>(end - text.data())});
}

std::string entryStatusText(std::string_view label, std::int32_t entry, std::int32_t count)
{
    std::string text(label.size() + kStatusFrame, '\0');
    text.resize(static_cast<std::size_t>(writeStatus(text.data(), label, entry, count) - text.data()));
    return text;
}

} // namespace korvane
