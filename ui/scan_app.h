#pragma once

// The application object: runs the main dialog modally and ends the program
// when the dialog ends.

#include <QApplication>
#include <QString>

namespace korvane {

class CScanApp : public QApplication {
public:
    CScanApp(int& argc, char** argv);

    // Shows the main dialog, with `projectPath` in its path box, until it
    // ends. Always false: nothing else is left to run.
    bool InitInstance(const QString& projectPath = {});

    QWidget* m_pMainWnd = nullptr; // the main dialog while it runs
};

} // namespace korvane
