#include "ui/framework/modals.h"

#include "ui/framework/open_file_dialog.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

namespace korvane::ui {

namespace {

class QtModals final : public ModalHandler {
public:
    void messageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) override
    {
        QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, caption, text,
                        QMessageBox::Ok, owner);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }

    std::optional<QString> openFileName(QWidget* owner, const OpenFileRequest& request) override
    {
        OpenFileDialog dialog(owner, request);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return QDir::toNativeSeparators(dialog.selectedFiles().first());
    }

    std::optional<QString> existingDirectory(QWidget* owner, const QString& caption, const QString& start) override
    {
        const QString folder = QFileDialog::getExistingDirectory(owner, caption, start);
        if (folder.isEmpty())
            return std::nullopt;
        return QDir::toNativeSeparators(folder);
    }

    int execDialog(QDialog& dialog) override { return dialog.exec(); }

    QAction* popupMenu(QMenu& menu, const QPoint& globalPos) override { return menu.exec(globalPos); }
};

QtModals qtModals;
ModalHandler* current = &qtModals;

} // namespace

std::optional<QString> ModalHandler::existingDirectory(QWidget*, const QString&, const QString&)
{
    return std::nullopt;
}

ModalHandler& modals()
{
    return *current;
}

ScopedModalHandler::ScopedModalHandler(ModalHandler& handler) : previous_(current)
{
    current = &handler;
}

ScopedModalHandler::~ScopedModalHandler()
{
    current = previous_;
}

} // namespace korvane::ui
