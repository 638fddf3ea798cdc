#pragma once

#include "app/command.h"

#include <QApplication>
#include <string>

namespace mwdx {

// The application: runs the main window until it closes.
class CMarrowdexApp final : public QApplication {
    Q_OBJECT

public:
    CMarrowdexApp(int& argc, char** argv);

    // Shows the main window with `commands` and returns the program's exit status once it has
    // closed.
    int InitInstance(const CommandFactory& commands);
};

// The main window on the program folder `programDirectory`, with `commands`, run until it
// closes: 0. When the knowledge base cannot be used, the reason is shown instead and 1 returned.
int RunMainWindow(const std::string& programDirectory, const CommandFactory& commands);

} // namespace mwdx
