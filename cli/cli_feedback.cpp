#include "cli/cli_feedback.h"

#include "report/progress.h"
#include "text/terminal_quote.h"

#include <algorithm>
#include <sys/ioctl.h>
#include <unistd.h>

namespace korvane {

std::string escapeTraceText(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    return out;
}

void TerminalProgress::reset()
{
    position_ = 0;
    draw(true);
}

void TerminalProgress::step()
{
    position_ = std::min(position_ + 1, kProgressSteps);
    draw(position_ == kProgressSteps);
}

void TerminalProgress::status(std::string_view text)
{
    status_.assign(text);
    entryPending_ = false;
    draw(false);
}

void TerminalProgress::lookAtClock()
{
    sinceClock_ = 0;
    draw(false);
}

namespace {

// The columns of the terminal `out` is, 80 when it does not say.
std::size_t terminalWidth(std::FILE* out)
{
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// `text` on one line of `width` columns: control bytes as `?`, cut short
// (never inside a UTF-8 sequence) so that the line never wraps, which would
// leave a line that cannot be erased.
std::string fitLine(std::string_view text, std::size_t width)
{
    std::string line;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    const std::size_t room = width > 1 ? width - 1 : 0;
    if (line.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        line.resize(cut);
    }
    return line;
}

} // namespace

void TerminalProgress::show(const std::string& line)
{
    if (line_) {
        const std::lock_guard lock(line_->mutex);
        if (line_->owner != this)
            return;
        line_->drawn = true;
        std::fputs("\r\033[K", out_);
        std::fputs(fitLine(line_->prefix + line, terminalWidth(out_)).c_str(), out_);
        std::fflush(out_);
        return;
    }
    drawn_ = true;
    std::fputs("\r\033[K", out_);
    std::fputs(fitLine(line, terminalWidth(out_)).c_str(), out_);
    std::fflush(out_);
}

void ProgressLine::handOver(std::FILE* out, const TerminalProgress* next, std::string nextPrefix)
{
    const std::lock_guard lock(mutex);
    if (drawn) {
        std::fputs("\r\033[K", out);
        std::fflush(out);
    }
    drawn = false;
    owner = next;
    prefix = std::move(nextPrefix);
}

void TerminalProgress::draw(bool force)
{
    if (!redraw_.claim(force))
        return;
    if (entryPending_) {
        status_ = entryStatusText(label_, entry_, count_);
        entryPending_ = false;
    }
    constexpr int width = 40;
    const int filled = position_ * width / kProgressSteps;
    std::string line = "[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(width - filled), '-');
    char count[32];
    std::snprintf(count, sizeof count, "] %3d/%d  ", position_, kProgressSteps);
    line += count;
    line += escapeTraceText(status_);
    show(line);
}

void TerminalProgress::text(std::string_view text, bool force)
{
    if (redraw_.claim(force))
        show(std::string(text));
}

void TerminalProgress::finish()
{
    if (line_) {
        const std::lock_guard lock(line_->mutex);
        if (line_->owner == this && line_->drawn) {
            std::fputs("\r\033[K", out_);
            std::fflush(out_);
        }
        if (line_->owner == this)
            line_->drawn = false;
        return;
    }
    if (drawn_) {
        std::fputs("\r\033[K", out_);
        std::fflush(out_);
    }
    drawn_ = false;
}

void CliFeedback::traceLine(std::string_view verb, std::string_view text, std::string_view suffix)
{
    if (!output_.out)
        return;
    std::string line(verb);
    line += " \"";
    line += escapeTraceText(text);
    line += '"';
    line += suffix;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), output_.out);
}

void CliFeedback::writeReport(std::string_view text)
{
    const bool shared = output_.progress && output_.sharedTerminal;
    if (shared)
        output_.progress->finish();
    if (output_.trace)
        traceLine("append", text);
    else
        std::fwrite(text.data(), 1, text.size(), output_.out);
    if (shared)
        std::fflush(output_.out);
}

void CliFeedback::appendReport(std::string_view text)
{
    if (!output_.out)
        return;
    if (output_.utf8 && !output_.trace)
        writeReport(resolver_.decoded(text));
    else
        writeReport(text);
}

void CliFeedback::missingFile(std::string_view path)
{
    ++missingCount_;
    if (!output_.quoteNames || output_.trace || !output_.out) {
        ScanFeedback::missingFile(path);
        return;
    }
    std::string line = quoteName(output_.utf8 ? resolver_.decoded(path) : std::string(path));
    line += kLineEnd;
    writeReport(line);
}

void CliFeedback::clearReport()
{
    // The report on stdout only grows; a run clears it before anything is written.
    if (output_.trace && output_.out)
        std::fputs("clear\n", output_.out);
}

void CliFeedback::setStatus(std::string_view text)
{
    if (output_.trace)
        traceLine("status", text);
    if (output_.progress)
        output_.progress->status(text);
}

void CliFeedback::entryStatus(std::string_view label, std::int32_t entry, std::int32_t count)
{
    // The trace shows every status line; a terminal only the one it draws.
    if (output_.trace)
        ScanFeedback::entryStatus(label, entry, count);
    else if (output_.progress)
        output_.progress->entry(label, entry, count);
}

void CliFeedback::resetProgress()
{
    if (output_.trace && output_.out)
        std::fputs("reset\n", output_.out);
    if (output_.progress)
        output_.progress->reset();
}

void CliFeedback::stepProgress()
{
    if (output_.trace && output_.out)
        std::fputs("step\n", output_.out);
    if (output_.progress)
        output_.progress->step();
}

void CliFeedback::fileChecked(std::string_view path, bool found)
{
    if (output_.progress)
        output_.progress->busy();
    if (!found)
        anyMissing_ = true;
    if (output_.trace)
        traceLine("check", path, found ? " found" : " missing");
    ScanFeedback::fileChecked(path, found);
}

} // namespace korvane
