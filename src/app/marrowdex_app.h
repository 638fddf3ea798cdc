#pragma once

#include <QApplication>

namespace mwdx {

// The application: runs the main window until it closes.
class CMarrowdexApp final : public QApplication {
    Q_OBJECT

public:
    CMarrowdexApp(int& argc, char** argv);

    // Shows the main window and returns the program's exit status once it has closed.
    int InitInstance();
};

} // namespace mwdx
