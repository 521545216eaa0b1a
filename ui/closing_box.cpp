#include "ui/closing_box.h"

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

} // namespace korvane::ui
