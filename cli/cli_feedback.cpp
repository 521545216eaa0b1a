#include "cli/cli_feedback.h"

#include "report/progress.h"

#include <algorithm>

namespace korvane {

std::string escapeTraceText(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
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
    status_.assign(text.substr(0, text.find('\0')));
    draw(false);
}

void TerminalProgress::draw(bool force)
{
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(40))
        return;
    lastDraw_ = now;
    drawn_ = true;
    constexpr int width = 40;
    const int filled = position_ * width / kProgressSteps;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width - filled), '-');
    std::fprintf(out_, "\r\033[K[%s] %3d/%d  %s", bar.c_str(), position_, kProgressSteps,
                 escapeTraceText(status_).c_str());
    std::fflush(out_);
}

void TerminalProgress::finish()
{
    if (drawn_) {
        std::fputs("\r\033[K", out_);
        std::fflush(out_);
    }
    drawn_ = false;
}

void CliFeedback::traceLine(std::string_view verb, std::string_view text, std::string_view suffix)
{
    std::string line(verb);
    line += " \"";
    line += escapeTraceText(text);
    line += '"';
    line += suffix;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out_);
}

void CliFeedback::appendReport(std::string_view text)
{
    if (progress_ && sharedTerminal_)
        progress_->finish();
    if (trace_)
        traceLine("append", text);
    else
        std::fwrite(text.data(), 1, text.substr(0, text.find('\0')).size(), out_);
    if (progress_ && sharedTerminal_)
        std::fflush(out_);
}

void CliFeedback::clearReport()
{
    // The report on stdout only grows; a run clears it before anything is written.
    if (trace_)
        std::fputs("clear\n", out_);
}

void CliFeedback::setStatus(std::string_view text)
{
    if (trace_)
        traceLine("status", text);
    if (progress_)
        progress_->status(text);
}

void CliFeedback::resetProgress()
{
    if (trace_)
        std::fputs("reset\n", out_);
    if (progress_)
        progress_->reset();
}

void CliFeedback::stepProgress()
{
    if (trace_)
        std::fputs("step\n", out_);
    if (progress_)
        progress_->step();
}

bool CliFeedback::fileExists(std::string_view path)
{
    const bool found = probe_.exists(path);
    if (!found)
        anyMissing_ = true;
    if (trace_)
        traceLine("check", path, found ? " found" : " missing");
    return found;
}

} // namespace korvane
