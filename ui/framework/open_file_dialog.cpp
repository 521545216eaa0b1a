#include "ui/framework/open_file_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>

namespace korvane::ui {

OpenFileDialog::OpenFileDialog(QWidget* owner, const OpenFileRequest& request) : QFileDialog(owner)
{
    setOption(DontUseNativeDialog);
    setAcceptMode(AcceptOpen);
    setFileMode(AnyFile);
    setNameFilters(request.filters);
    setDefaultSuffix(request.defaultSuffix);
    if (!request.directory.isEmpty())
        setDirectory(request.directory);
    selectFile(request.initialName);
    connect(this, &QFileDialog::filterSelected, this, &OpenFileDialog::useFilter);
}

void OpenFileDialog::accept()
{
    const QStringList chosen = selectedFiles();
    if (chosen.size() == 1) {
        const QFileInfo file(chosen.first());
        if (!file.isDir() && !file.dir().exists()) {
            modals().messageBox(this, QDir::toNativeSeparators(file.path()) + QLatin1Char('\n') +
                                    QCoreApplication::translate("OpenFileDialog", "The folder does not exist."),
                                windowTitle(), MessageIcon::Exclamation);
            return;
        }
    }
    QFileDialog::accept();
}

void OpenFileDialog::useFilter(const QString& filter)
{
    // The dialog has already put the filter's own patterns in force, and to
    // it "*.*" means names with a dot.
    if (!filter.endsWith(QLatin1String("(*.*)")))
        return;
    if (auto* model = findChild<QFileSystemModel*>())
        model->setNameFilters({QStringLiteral("*")});
}

} // namespace korvane::ui
