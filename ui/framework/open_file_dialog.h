#pragma once

// Qt's own file dialog, held to what the program asks of it: a name that
// does not exist is accepted where its folder exists, a folder that does not
// exist is refused with a message, and a filter whose pattern reads "*.*"
// lists every file, with or without a dot in its name.

#include "ui/framework/modals.h"

#include <QFileDialog>

namespace korvane::ui {

class OpenFileDialog : public QFileDialog {
public:
    OpenFileDialog(QWidget* owner, const OpenFileRequest& request);

    void accept() override;

private:
    void useFilter(const QString& filter);
};

} // namespace korvane::ui
