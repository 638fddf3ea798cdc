#include "app/marrowdex_app.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "platform/program_dir.h"

namespace mwdx {

CMarrowdexApp::CMarrowdexApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Lets the desktop match the window with the installed marrowdex.desktop entry.
    setDesktopFileName(QStringLiteral("marrowdex"));
}

int CMarrowdexApp::InitInstance(const CommandFactory& commands) {
    return RunMainWindow(ProgramDirectory(), commands);
}

int RunMainWindow(const std::string& programDirectory, const CommandFactory& commands) {
    CMarrowdexDlg window(programDirectory, commands);
    if (window.StartRefusal() != 0) {
        MessagePrompt::Show(nullptr, window.StartRefusal());
        return 1;
    }
    window.QuitOnSignals();
    window.exec();
    return 0;
}

} // namespace mwdx
