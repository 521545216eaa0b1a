#pragma once

// What the tests of Windows paths in the dialog share: the main dialog with
// neither a configuration file nor a Wine prefix of its own at the start of
// each test, a folder for the test's files, and the report expected of a
// project once some of its files are found.

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QAbstractItemView>

#include <optional>
#include <string>

namespace korvane::uitest {

inline void makeFile(const QString& path)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// The texts of a column of a list, top to bottom.
inline QStringList rows(const QAbstractItemView* list, int column)
{
    QStringList texts;
    const QAbstractItemModel* model = list->model();
    for (int k = 0; k < model->rowCount(); ++k)
        texts << model->index(k, column).data().toString();
    return texts;
}

// The report of a scan without any mapping, with every line of `gone` taken out.
inline QString referenceWithout(const QString& project, const QStringList& gone)
{
    std::string report;
    scanForReference(project, &report);
    QString text = QString::fromStdString(report);
    for (const QString& line : gone) {
        const QString entry = line + QStringLiteral("\r\n");
        if (!text.contains(entry))
            return QStringLiteral("<reference lacks %1>").arg(line);
        text.remove(entry);
    }
    return text;
}

class MappingFixture : protected DialogFixture {
protected:
    // The settings a test wrote are gone before the next one opens the dialog.
    void openWithoutSettings()
    {
        QFile::remove(configFile);
        QDir(settingsRoot.filePath(QStringLiteral("wine"))).removeRecursively();
        QVERIFY(QDir().mkpath(settingsRoot.filePath(QStringLiteral("wine"))));
        work.emplace();
        openDialog();
    }

    void closeAndRemoveFiles()
    {
        closeDialog();
        work.reset();
    }

    void process(const QString& project)
    {
        dlg->m_dvcPath = project;
        dlg->UpdateData(false);
        dlg->OnProcess();
        QVERIFY(waitForRun(*dlg));
    }

    QString tempPath(const QString& name) const { return work->filePath(name); }

    std::optional<QTemporaryDir> work;
};

} // namespace korvane::uitest
