#pragma once

// The fuzz targets' check of a promise: a broken one names itself and its
// place on stderr and aborts, which libFuzzer takes for a crash and keeps
// the input of.

#include <cstdio>
#include <cstdlib>

namespace korvane::fuzz {

[[noreturn]] inline void broken(const char* promise, const char* file, int line)
{
    std::fprintf(stderr, "promise broken (%s:%d): %s\n", file, line, promise);
    std::abort();
}

} // namespace korvane::fuzz

#define PROMISE(condition)                                                                                        \
    do {                                                                                                          \
        if (!(condition))                                                                                         \
            ::korvane::fuzz::broken(#condition, __FILE__, __LINE__);                                              \
    } while (0)
