#pragma once

#include <string_view>

namespace korvane {

// The existence test a scan is given: whether anything is found under a
// stored name. The scan asks it; its feedback only hears the answer. The
// find-first test (FileProbe) and the run's PathResolver are the two kinds.
class ExistenceTest {
public:
    virtual ~ExistenceTest() = default;
    // Whether anything is found under `stored`, the bytes of a stored name
    // as the scanner read them (up to the name's first zero byte).
    virtual bool exists(std::string_view stored) = 0;
};

} // namespace korvane
