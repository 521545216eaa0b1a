#include "paths/resolution.h"

#include "text/terminal_quote.h"

namespace korvane {

std::string describe(const Resolution& r)
{
    if (r.found)
        return r.kind == PathKind::Mapped ? "found as " + quoteName(r.localPath) : "found as stored";
    switch (r.kind) {
    case PathKind::Mapped:
        return "tried " + quoteName(r.localPath) + ": " + r.reason;
    case PathKind::NoMapping:
        return r.reason + ", looked for as stored";
    case PathKind::NotAFile:
        return r.reason;
    case PathKind::NotWindows:
        break;
    }
    return "not found as stored";
}

std::vector<std::string> describeEach(const Resolution& r)
{
    std::vector<std::string> lines;
    for (const Resolution::Attempt& attempt : r.tried)
        lines.push_back("tried " + quoteName(attempt.localPath) + ": " + attempt.reason);
    lines.push_back(describe(r));
    return lines;
}

void clearAnswer(Resolution& r)
{
    r.kind = PathKind::NotWindows;
    r.found = false;
    r.root.clear();
    r.mappedRoot.clear();
    r.localPath.clear();
    r.reason.clear();
}

void nextAttempt(Resolution& r, bool answerOnly)
{
    if (r.mappedRoot.empty())
        return;
    if (!answerOnly)
        r.tried.push_back({std::move(r.mappedRoot), std::move(r.localPath), std::move(r.reason)});
    r.mappedRoot.clear();
    r.localPath.clear();
    r.reason.clear();
}

} // namespace korvane
