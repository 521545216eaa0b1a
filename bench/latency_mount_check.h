#pragma once

// What the latency benchmark needs of the file system it runs on, and
// checks before it times anything.

#include <cstddef>
#include <string>
#include <vector>

namespace korvane::bench {

// The least speed-up over lookups one after another that counts at all.
inline constexpr double kLeastSpeedUp = 8.0;

// Creates an empty file at `path`, and its folders.
void createFile(const std::string& path);
// One stat per path in order; how many found something.
std::size_t statEach(const std::vector<std::string>& paths);

// The mount at `mount` (a view of `source`) must cost `delayMs` per request,
// and requests made at once must overlap: otherwise no figure of the
// benchmark means what it says. Prints what it measured; throws when the
// mount is not such a file system.
void checkLatencyMount(const std::string& mount, const std::string& source, double delayMs);

} // namespace korvane::bench
