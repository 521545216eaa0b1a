#include "ui/unmapped_note.h"

#include "text/ascii.h"

namespace korvane::ui {

std::string unmappedRootsSentence(const std::vector<std::string>& roots)
{
    std::vector<std::string> drives, shares;
    for (const std::string& root : roots)
        (root.starts_with("\\\\") ? shares : drives).push_back(root);

    std::string subject;
    if (!drives.empty())
        subject = (drives.size() == 1 ? "Drive " : "Drives ") + joinWithAnd(drives);
    if (!shares.empty()) {
        if (!subject.empty())
            subject += " and ";
        subject += (shares.size() == 1 ? "share " : "shares ") + joinWithAnd(shares);
    }
    if (subject.empty())
        return {};
    if (subject.front() == 's')
        subject.front() = 'S';
    return roots.size() == 1 ? subject + " has no mapping, so its files were not looked for."
                             : subject + " have no mapping, so their files were not looked for.";
}

} // namespace korvane::ui
