#pragma once

// The scan's side of existence tests asked ahead (fs/look_ahead.h): the
// feedback still hears of each test in the order the scan met it.

#include "fs/look_ahead.h"
#include "report/scan_feedback.h"
#include "scanner/file_checks.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <stop_token>
#include <string>
#include <string_view>

namespace korvane {

// A sink between the scan and the feedback (`inner`) that lets the scan
// read ahead of its existence tests. check hands the path to the
// look-ahead and holds every later event back until the test has ended;
// then `exists` answers (it should read through what the look-ahead has
// looked at, so that its answer costs nothing) and the inner sink hears
// fileChecked and what follows it, in the scan's order, so that it shows
// byte for byte what a run without look-ahead shows. Events are passed on
// at once while no test is outstanding.
//
// What is held back is bounded: past kMaxHeldEvents events or kMaxHeldBytes
// bytes of text, the scan waits for the oldest test.
class LookAheadFeedback final : public ScanFeedback, public FileChecks {
public:
    static constexpr std::size_t kMaxHeldEvents = 1u << 16;
    static constexpr std::size_t kMaxHeldBytes = 4u << 20;

    // Once a stop is requested of `stop`, nothing more is passed on from the
    // next existence test on, as a scan stops at the next entry: what is
    // dropped starts with a test, so the report still ends with a whole line.
    LookAheadFeedback(ScanFeedback& inner, LookAhead& lookAhead, ExistenceTest& exists, std::stop_token stop = {})
        : inner_(inner), lookAhead_(lookAhead), exists_(exists), stop_(std::move(stop))
    {
    }

    void appendReport(std::string_view text) override;
    void clearReport() override;
    void setStatus(std::string_view text) override;
    void resetProgress() override;
    void stepProgress() override;
    void beginSection(std::string_view name) override;
    void missingFile(std::string_view path) override;
    void entryStatus(std::string_view label, std::int32_t entry, std::int32_t count) override;
    bool statusOfEveryEntry() const override { return inner_.statusOfEveryEntry(); }
    void fileChecked(std::string_view path, bool found) override;
    void check(std::string_view path) override;

    // Passes on everything held back, waiting for the tests, unless a stop
    // comes first: the end of a run. Returns whether all was passed on.
    bool finish();
    // Passes on what can be passed on without waiting, and drops the rest
    // from the first test that has not ended: a run that was stopped.
    void abandon();
    // Events held back now; for tests.
    std::size_t held() const { return held_.size(); }

private:
    enum class Kind : std::uint8_t { Append, Clear, Status, Reset, Step, Section, Missing, Entry, Check, Checked };
    struct Event {
        Kind kind = Kind::Append;
        std::int32_t entry = 0; // for Checked: 1 found, 0 not

        std::int32_t count = 0;
        LookAhead::Ticket ticket = 0;
        std::string_view label; // static text, for Entry
        std::size_t offset = 0; // of the text in text_
        std::size_t length = 0;
    };

    // Whether the event must wait its turn: something is held back.
    bool holding() const { return !held_.empty(); }
    void hold(Kind kind, std::string_view text = {}, std::int32_t value = 0);
    void deliver(const Event& event);
    bool stopped() const { return stop_.stop_requested(); }
    // Passes on the events before the first test that has not ended; after
    // a stop, drops everything from the next test.
    void passReady();
    void drop();
    // Keeps what is held within its bounds.
    void bound();

    ScanFeedback& inner_;
    LookAhead& lookAhead_;
    ExistenceTest& exists_;
    std::stop_token stop_;
    bool dropped_ = false; // something held back was never passed on
    std::deque<Event> held_;
    std::string text_;          // the texts of the held events, in order
    std::size_t textStart_ = 0; // what of text_ was passed on
    std::size_t unflushed_ = 0; // events since a test was begun and not yet flushed
};

} // namespace korvane
