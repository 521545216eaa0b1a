#include "ui/unmapped_note.h"

#include <cstddef>

namespace korvane::ui {

namespace {

// "D:", "D: and E:", "D:, E: and F:".
std::string joinNames(const std::vector<std::string>& names)
{
    std::string out;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (k > 0)
            out += k + 1 == names.size() ? " and " : ", ";
        out += names[k];
    }
    return out;
}

} // namespace

std::string unmappedRootsSentence(const std::vector<std::string>& roots)
{
    std::vector<std::string> drives, shares;
    for (const std::string& root : roots)
        (root.starts_with("\\\\") ? shares : drives).push_back(root);

    std::string subject;
    if (!drives.empty())
        subject = (drives.size() == 1 ? "Drive " : "Drives ") + joinNames(drives);
    if (!shares.empty()) {
        if (!subject.empty())
            subject += " and ";
        subject += (shares.size() == 1 ? "share " : "shares ") + joinNames(shares);
    }
    if (subject.empty())
        return {};
    if (subject.front() == 's')
        subject.front() = 'S';
    return roots.size() == 1 ? subject + " has no mapping, so its files were not looked for."
                             : subject + " have no mapping, so their files were not looked for.";
}

} // namespace korvane::ui
