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
    case LeftReason::OutsideRoot:
        return tr("its place %1 is outside the folders files may be put back in").arg(name(step.destination));
    case LeftReason::HiddenName:
        return tr("the name %1 is hidden: putting back never makes such a name").arg(name(step.detail));
    case LeftReason::NotMounted:
        return step.error != 0 ? tr("the folder %1 does not exist: is the disk mounted?").arg(name(step.detail))
                               : tr("the folder %1 is a mount point with nothing mounted: is the disk mounted?")
                                     .arg(name(step.detail));
    case LeftReason::LinkInPath:
        return tr("%1 is a symbolic link: files are put back only through real folders").arg(name(step.detail));
    case LeftReason::NotAFolder:
        return tr("%1 is not a folder").arg(name(step.detail));
    case LeftReason::SamePlace:
        return tr("the same place as %1, whose name differs only in letter case").arg(name(step.detail));
    case LeftReason::OtherShoot:
        return tr("found only in folders of other dates than its own: another day's shoot");
    case LeftReason::OtherReading:
        return tr("its folder is on the disk as %1, its name read in the other code page: no folder is made from a "
                  "reading the disk contradicts")
            .arg(name(step.detail));
    default:
        return oneLineName(fromUtf8(describeLeft(step)), kMaxShownChars);
    }
}

QString RestoreTexts::keptReason(const UndoItem& item)
{
    const QString subject = name(item.subject);
    switch (item.because) {
    case KeptBecause::NotEmpty:
        return tr("not empty");
    case KeptBecause::Replaced:
        return tr("replaced since it was put back");
    case KeptBecause::Changed:
        return tr("changed since it was put back");
    case KeptBecause::ChangedMeanwhile:
        return tr("changed while it was being undone");
    case KeptBecause::LastLink:
        return tr("its source is gone: this is the last link to the file");
    case KeptBecause::SourceGone:
        return tr("its source %1 is gone: this is the only copy").arg(subject);
    case KeptBecause::SourceNotAFile:
        return tr("its source %1 is no longer a file: this is the only copy").arg(subject);
    case KeptBecause::SourceIsThisFile:
        return tr("its source %1 now leads to this very file: it is the only copy").arg(subject);
    case KeptBecause::SourceChanged:
        return tr("its source %1 changed: this is the only copy").arg(subject);
    case KeptBecause::SourceDiffers:
        return tr("its source %1 differs from it: this is the only copy").arg(subject);
    case KeptBecause::SourceElsewhere:
        return tr("its source %1 no longer leads to this file").arg(subject);
    case KeptBecause::SourcesOwnName:
        return tr("it is its source's own name");
    case KeptBecause::NotTheRunsTemporary:
        return tr("not the temporary the run made");
    case KeptBecause::NotMadeByTheRun:
        return tr("not made while its journal was written");
    case KeptBecause::BirthUnknown:
        return tr("its file system keeps no birth time, so nothing proves the put back made it");
    case KeptBecause::LinkInTheWay:
        return tr("%1 is now a symbolic link: undo goes only through real folders").arg(subject);
    case KeptBecause::NotAFolderInTheWay:
        return tr("%1 is no longer a folder").arg(subject);
    case KeptBecause::NoLongerAFolder:
        return tr("no longer a folder");
    case KeptBecause::OutsideTheJournal:
        return tr("outside the folders of the journal");
    case KeptBecause::Stopped:
        return tr("not tried: the undo was stopped");
    case KeptBecause::SystemError:
        break;
    }
    return oneLineName(fromUtf8(item.why), kMaxShownChars);
}

} // namespace korvane::ui
