#include "ui/closing_box.h"

#include "ui/shown_name.h"
#include "ui/unmapped_note.h"

#include <QCoreApplication>

namespace korvane::ui {

QString closingText(ProjectScan& project, const QString& shownName, const std::vector<SetupWarning>& warnings)
{
    const ScanResult& result = project.result();
    if (!result) {
        // The reason on a second line, in the system's words ("No such file
        // or directory", "The file is in use by another program").
        QString text = QCoreApplication::translate("CScanDlg", "Can not open dvc file");
        if (!result.openError.empty())
            text += QLatin1Char('\n') + QString::fromStdString(result.openError);
        return text;
    }
    QString text = QCoreApplication::translate("CScanDlg", "completed") + QLatin1Char('\n') + shownName;
    if (result.damaged)
        text += QStringLiteral("\n\n") + QString::fromStdString(describeDamage(result));
    if (const std::vector<std::string>& unmapped = project.unmappedRoots(); !unmapped.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(unmappedRootsSentence(unmapped));
    if (const std::string& note = project.codePageSwitchNote(); !note.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(note) + QLatin1Char('.');
    if (const std::string note = project.otherCodePageNote(); !note.empty())
        text += QStringLiteral("\n\n") + QString::fromStdString(note) + QLatin1Char('.');
    for (std::size_t k = 0; k < warnings.size(); ++k) {
        text += k == 0 ? QStringLiteral("\n\n") : QStringLiteral("\n");
        text += QString::fromStdString(warnings[k].text);
    }
    return text;
}

QString rememberedText(const MemoryAnswers& memory)
{
    constexpr std::size_t kNamed = 5;
    if (!memory.warning.empty())
        return QStringLiteral("\n\n") +
               QCoreApplication::translate("CScanDlg", "The present media were not remembered: %1.")
                   .arg(oneLineName(fromUtf8(memory.warning)));
    QString text = QStringLiteral("\n\n") +
                   QCoreApplication::translate("CScanDlg", "%1 present files remembered, %2 of them as before.")
                       .arg(memory.recorded + memory.unchanged)
                       .arg(memory.unchanged);
    if (!memory.problems.empty())
        text += QLatin1Char(' ') +
                QCoreApplication::translate("CScanDlg", "%1 could not be read.").arg(memory.problems.size());
    if (memory.changed.empty())
        return text;
    text += QStringLiteral("\n\n") +
            QCoreApplication::translate("CScanDlg", "Changed since last seen: %1").arg(memory.changed.size());
    for (std::size_t k = 0; k < memory.changed.size() && k < kNamed; ++k) {
        const ChangedSinceSeen& file = memory.changed[k];
        const QString how = file.sameSize() ? QCoreApplication::translate("CScanDlg", "same size, other content")
                                            : QCoreApplication::translate("CScanDlg", "size %1, was %2")
                                                  .arg(file.size)
                                                  .arg(file.wasSize);
        text += QLatin1Char('\n') + oneLineName(fromUtf8(file.decoded), 300) + QStringLiteral(" (") + how +
                QLatin1Char(')');
    }
    if (memory.changed.size() > kNamed)
        text += QLatin1Char('\n') +
                QCoreApplication::translate("CScanDlg", "and %1 more").arg(memory.changed.size() - kNamed);
    return text;
}

} // namespace korvane::ui
