#include "cli/catalogue_output.h"

#include "cli/readable_name.h"
#include "text/terminal_quote.h"

#include <ctime>

namespace korvane {

namespace {

// A disk's label in double quotes; in the shell's quoting when it holds
// bytes that need it.
std::string diskName(const std::string& label)
{
    return needsQuoting(label) ? quoteName(label) : "\"" + label + "\"";
}

} // namespace

std::string dayOf(std::int64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&time, &local);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    return day;
}

std::string renderNotConnected(const CatalogueAnswers& answers, const SearchResults& results,
                               const TextOptions& options)
{
    if (answers.answers.empty())
        return {};
    const std::string end(options.lineEnd);
    std::string out = "On disks not connected" + end;
    for (const CatalogueAnswer& answer : answers.answers) {
        const MissingMatch* match = results.find(answer.stored);
        out += quoteName(match ? readableName(answer.stored, match->file.decoded) : answer.stored) + end;
        if (answer.ambiguous)
            out += "    different files that nothing tells apart; none is chosen:" + end;
        for (const ElsewhereSighting& s : answer.notConnected) {
            // Labels and paths come from disks: quoted when they need it.
            out += "    on disk " + diskName(s.label) + " (not connected), at " + quoteName(s.path) +
                   ", last seen on " + dayOf(s.lastSeen) + end;
        }
    }
    return out;
}

} // namespace korvane
