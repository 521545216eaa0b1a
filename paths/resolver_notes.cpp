// What korvane says of the stored names a run could not look for, or found
// only in another code page.

#include "paths/path_resolver.h"

#include "text/message.h"
#include "text/terminal_quote.h"

namespace korvane {

namespace {

bool isShare(std::string_view root)
{
    return root.starts_with("\\\\");
}

// joinWithAnd for a sentence for people: "D:, E: and F:", in their language.
std::string listForPeople(const std::vector<std::string>& items)
{
    std::string out;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k == 0)
            out = items[k];
        else
            out = fillMessage(k + 1 == items.size() ? N_("%1 and %2") : N_("%1, %2"), {out, items[k]});
    }
    return out;
}

// "drive D:, share \\nas\media and drive E:".
std::string rootsInOrder(const std::vector<std::string>& roots)
{
    std::vector<std::string> named;
    for (const std::string& root : roots)
        named.push_back(fillMessage(isShare(root) ? N_("share %1") : N_("drive %1"), {quoteName(root)}));
    return listForPeople(named);
}

// "Drives D: and E: and share \\nas\media".
std::string rootsByKind(const std::vector<std::string>& roots)
{
    std::vector<std::string> drives, shares;
    for (const std::string& root : roots)
        (isShare(root) ? shares : drives).push_back(quoteName(root));
    std::string driveList, shareList;
    if (!drives.empty())
        driveList = fillMessage(drives.size() == 1 ? N_("Drive %1") : N_("Drives %1"), {listForPeople(drives)});
    if (!shares.empty() && drives.empty())
        shareList = fillMessage(shares.size() == 1 ? N_("Share %1") : N_("Shares %1"), {listForPeople(shares)});
    else if (!shares.empty())
        shareList = fillMessage(shares.size() == 1 ? N_("share %1") : N_("shares %1"), {listForPeople(shares)});
    if (driveList.empty() || shareList.empty())
        return driveList + shareList;
    return fillMessage("%1 and %2", {driveList, shareList});
}

} // namespace

std::string unmappedRootsNote(const std::vector<std::string>& roots, UnmappedNote style, std::string_view howToMap)
{
    if (roots.empty())
        return {};
    const bool one = roots.size() == 1;
    std::string text;
    if (style == UnmappedNote::Warning)
        text = fillMessage(
            one ? N_("%1 has no mapping, so its paths were listed as missing without being looked for")
                : N_("%1 have no mapping, so their paths were listed as missing without being looked for"),
            {rootsInOrder(roots)});
    else
        text = fillMessage(one ? N_("%1 has no mapping, so its files were not looked for")
                               : N_("%1 have no mapping, so their files were not looked for"),
                           {rootsByKind(roots)});
    if (!howToMap.empty())
        text = fillMessage(one ? N_("%1; map it with %2") : N_("%1; map them with %2"), {text, howToMap});
    if (style == UnmappedNote::Sentence)
        text = fillMessage("%1.", {text});
    return text;
}

std::string otherCodePageNote(PathResolver& resolver)
{
    const std::vector<std::string>& names = resolver.readInOtherCodePage();
    if (names.empty())
        return {};
    constexpr std::size_t kShown = 5;
    std::string list;
    for (std::size_t k = 0; k < names.size() && k < kShown; ++k) {
        const Resolution found = resolver.resolve(names[k]);
        const std::string named = fillMessage("%1 (read as %2)", {quoteName(found.localPath), found.codePage});
        list = k == 0 ? named : fillMessage("%1; %2", {list, named});
    }
    if (names.size() > kShown)
        list = fillMessage("%1; and %2 more", {list, std::to_string(names.size() - kShown)});
    return fillMessage(
        names.size() == 1
            ? N_("%1 name was found only when read in another code page than the rest of the project: %2")
            : N_("%1 names were found only when read in another code page than the rest of the project: %2"),
        {std::to_string(names.size()), list});
}

} // namespace korvane
