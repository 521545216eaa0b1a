#include "ui/restore_texts.h"

#include "ui/shown_name.h"


#include <cstring>
#include <string_view>

namespace korvane::ui {

namespace {

// Long enough for any real path, short enough for a tooltip.
constexpr qsizetype kMaxShownChars = 1024;

QString count(std::size_t n, const QString& one, const QString& many)
{
    return n == 1 ? one : many.arg(n);
}

QString name(const std::string& bytes)
{
    return oneLineName(fromBytes(bytes), kMaxShownChars);
}

} // namespace

QString RestoreTexts::files(std::size_t n)
{
    return count(n, tr("1 file"), tr("%1 files"));
}

QString RestoreTexts::folders(std::size_t n)
{
    return count(n, tr("1 folder"), tr("%1 folders"));
}

QString RestoreTexts::bytes(std::uint64_t n)
{
    return n == 1 ? tr("1 byte") : tr("%1 bytes").arg(n);
}

QString RestoreTexts::missingFiles(std::size_t n)
{
    return count(n, tr("1 missing file"), tr("%1 missing files"));
}

QString RestoreTexts::leftReason(const RestoreStep& step)
{
    switch (step.reason) {
    case LeftReason::NotFound:
        return tr("not found");
    case LeftReason::OtherExtension:
        return tr("the closest file found has another extension (a transcoded file is not the original)");
    case LeftReason::DifferentFiles: {
        QString sizes;
        for (std::size_t k = 0; k < step.differentSizes.size(); ++k) {
            if (k > 0)
                sizes += k + 1 == step.differentSizes.size() ? tr(" and ") : tr(", ");
            sizes += QString::number(step.differentSizes[k]);
        }
        return tr("%1 different files found (%2 bytes)").arg(step.differentSizes.size()).arg(sizes);
    }
    case LeftReason::NoMapping:
        return step.detail.starts_with("\\\\")
                   ? tr("no mapping for share %1").arg(oneLineName(fromUtf8(step.detail)))
                   : tr("no mapping for drive %1").arg(oneLineName(fromUtf8(step.detail)));
    case LeftReason::NotWritable:
        // The system's reason in the user's language, where the system has it.
        return tr("cannot write in folder %1: %2")
            .arg(name(step.detail), QString::fromLocal8Bit(std::strerror(step.error)));
    case LeftReason::AlreadyThere:
        return tr("its place holds an entry now: %1").arg(name(step.destination));
    default:
        return oneLineName(fromUtf8(describeLeft(step)), kMaxShownChars);
    }
}

QString RestoreTexts::keptReason(const std::string& why)
{
    if (why == "not empty")
        return tr("not empty");
    if (why == "replaced since it was put back")
        return tr("replaced since it was put back");
    if (why == "changed since it was put back")
        return tr("changed since it was put back");
    if (why == "its source is gone: this is the last link to the file")
        return tr("its source is gone: this is the last link to the file");
    if (why == "not tried: the undo was stopped")
        return tr("not tried: the undo was stopped");
    constexpr std::string_view sourceBegin = "its source ";
    constexpr std::string_view sourceEnd = " is gone or changed: this is the only copy";
    if (why.size() > sourceBegin.size() + sourceEnd.size() && why.starts_with(sourceBegin) &&
        why.ends_with(sourceEnd)) {
        const std::string source = why.substr(sourceBegin.size(), why.size() - sourceBegin.size() - sourceEnd.size());
        return tr("its source %1 is gone or changed: this is the only copy").arg(oneLineName(fromUtf8(source)));
    }
    return oneLineName(fromUtf8(why), kMaxShownChars);
}

} // namespace korvane::ui
