#pragma once

#include <functional>
#include <string_view>

namespace korvane {

// A test's hook into each act of putting back that changes the disk or the
// journal ("mkdir", "link", "rename", "journal-write", ...): told the act's
// name just before it. An errno it returns makes the act fail with that
// error, as the system would; it may also end the process there, to leave
// the disk as a kill at that instant would.
using FaultHook = std::function<int(std::string_view act)>;

inline int faultAt(const FaultHook& hook, std::string_view act)
{
    return hook ? hook(act) : 0;
}

} // namespace korvane
