#pragma once

// korvane-scan run as a process with `args`, for the catalogue's tests of
// the command line.

#include "tests/process.h"

#include <string>
#include <vector>

namespace korvane::testkit {

inline ProcessResult scan(std::vector<std::string> args)
{
    args.insert(args.begin(), KORVANE_SCAN_BINARY);
    return runProcess(args);
}

} // namespace korvane::testkit
