#include "scanner/look_ahead_feedback.h"

namespace korvane {

namespace {

// Events after a test was begun before the tests held back are started
// whatever their number: a project whose references are far apart still
// has its tests under way while the scan reads on.
constexpr std::size_t kEventsBeforeFlush = 256;

} // namespace

void LookAheadFeedback::hold(Kind kind, std::string_view text, std::int32_t value)
{
    Event event;
    event.kind = kind;
    event.entry = value;
    event.offset = text_.size();
    event.length = text.size();
    text_.append(text);
    held_.push_back(event);
    bound();
}

void LookAheadFeedback::deliver(const Event& event)
{
    const std::string_view text = std::string_view(text_).substr(event.offset, event.length);
    switch (event.kind) {
    case Kind::Append: inner_.appendReport(text); break;
    case Kind::Clear: inner_.clearReport(); break;
    case Kind::Status: inner_.setStatus(text); break;
    case Kind::Reset: inner_.resetProgress(); break;
    case Kind::Step: inner_.stepProgress(); break;
    case Kind::Section: inner_.beginSection(text); break;
    case Kind::Missing: inner_.missingFile(text); break;
    case Kind::Entry: inner_.entryStatus(event.label, event.entry, event.count); break;
    case Kind::Check: inner_.fileChecked(text, exists_.exists(text)); break;
    case Kind::Checked: inner_.fileChecked(text, event.entry != 0); break;
    }
}

void LookAheadFeedback::passReady()
{
    while (!held_.empty()) {
        const Event& front = held_.front();
        if (front.kind == Kind::Check && stopped()) {
            drop();
            return;
        }
        if (front.kind == Kind::Check && !lookAhead_.ready(front.ticket))
            break;
        deliver(front);
        textStart_ = front.offset + front.length;
        held_.pop_front();
    }
    if (held_.empty()) {
        text_.clear();
        textStart_ = 0;
    }
}

void LookAheadFeedback::bound()
{
    if (unflushed_ > 0 && ++unflushed_ > kEventsBeforeFlush) {
        lookAhead_.flush();
        unflushed_ = 0;
    }
    passReady();
    while (held_.size() > kMaxHeldEvents || text_.size() - textStart_ > kMaxHeldBytes) {
        // The oldest event is a test that has not ended.
        lookAhead_.flush();
        unflushed_ = 0;
        lookAhead_.wait(held_.front().ticket, stop_);
        passReady();
    }
    // The text passed on is dropped once it is most of the buffer.
    if (textStart_ > kMaxHeldBytes && textStart_ * 2 > text_.size()) {
        text_.erase(0, textStart_);
        for (Event& event : held_)
            event.offset -= textStart_;
        textStart_ = 0;
    }
}

void LookAheadFeedback::appendReport(std::string_view text)
{
    if (holding())
        hold(Kind::Append, text);
    else
        inner_.appendReport(text);
}

void LookAheadFeedback::clearReport()
{
    if (holding())
        hold(Kind::Clear);
    else
        inner_.clearReport();
}

void LookAheadFeedback::setStatus(std::string_view text)
{
    if (holding())
        hold(Kind::Status, text);
    else
        inner_.setStatus(text);
}

void LookAheadFeedback::resetProgress()
{
    if (holding())
        hold(Kind::Reset);
    else
        inner_.resetProgress();
}

void LookAheadFeedback::stepProgress()
{
    if (holding())
        hold(Kind::Step);
    else
        inner_.stepProgress();
}

void LookAheadFeedback::beginSection(std::string_view name)
{
    if (holding())
        hold(Kind::Section, name);
    else
        inner_.beginSection(name);
}

void LookAheadFeedback::missingFile(std::string_view path)
{
    if (holding())
        hold(Kind::Missing, path);
    else
        inner_.missingFile(path);
}

void LookAheadFeedback::entryStatus(std::string_view label, std::int32_t entry, std::int32_t count)
{
    if (!holding()) {
        inner_.entryStatus(label, entry, count);
        return;
    }
    Event event;
    event.kind = Kind::Entry;
    event.label = label;
    event.entry = entry;
    event.count = count;
    event.offset = text_.size();
    held_.push_back(event);
    bound();
}

void LookAheadFeedback::fileChecked(std::string_view path, bool found)
{
    if (!holding()) {
        inner_.fileChecked(path, found);
        return;
    }
    hold(Kind::Checked, path, found ? 1 : 0);
}

void LookAheadFeedback::check(std::string_view path)
{
    Event event;
    event.kind = Kind::Check;
    event.ticket = lookAhead_.begin(path);
    if (unflushed_ == 0)
        unflushed_ = 1;
    if (!holding() && lookAhead_.ready(event.ticket)) {
        // Met before and answered: nothing to wait for.
        inner_.fileChecked(path, exists_.exists(path));
        return;
    }
    event.offset = text_.size();
    event.length = path.size();
    text_.append(path);
    held_.push_back(event);
    bound();
}

bool LookAheadFeedback::finish()
{
    lookAhead_.flush();
    unflushed_ = 0;
    passReady();
    while (!held_.empty() && !stopped()) {
        // The oldest event is a test that has not ended.
        lookAhead_.wait(held_.front().ticket, stop_);
        passReady();
    }
    drop();
    return !dropped_;
}

void LookAheadFeedback::abandon()
{
    passReady();
    drop();
}

void LookAheadFeedback::drop()
{
    dropped_ = dropped_ || !held_.empty();
    held_.clear();
    text_.clear();
    textStart_ = 0;
}

} // namespace korvane
