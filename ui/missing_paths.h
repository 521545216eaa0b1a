#pragma once

// The missing files of a run, kept cheaply while the scan reports them: the
// stored bytes of every missing path, repeats and all, go into blocks that
// never move, with the decoded text beside them only where it differs; the
// list of distinct files is made only when it is asked for. Plain C++, free
// of Qt.

#include "search/missing_match.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::ui {

class MissingPaths {
public:
    void clear();
    // One missing path of the report: as stored and as shown.
    void add(std::string_view stored, std::string_view decoded);
    bool empty() const { return entries_.empty(); }
    // How many paths were added, repeats included.
    std::size_t size() const { return entries_.size(); }

    // Every stored path once, in the order first added, with the decoded
    // text it was added with.
    std::vector<MissingFile> distinct() const;

private:
    struct Entry {
        std::string_view stored;
        std::string_view decoded; // the stored text where the two are the same
    };
    std::string_view keep(std::string_view text);

    std::vector<std::string> blocks_; // each filled up to the capacity it was made with
    std::vector<Entry> entries_;
};

} // namespace korvane::ui
