#include "app/marrowdex_app.h"

#include "app/marrowdex_dlg.h"
#include "platform/program_dir.h"

namespace mwdx {

CMarrowdexApp::CMarrowdexApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Lets the desktop match the window with the installed marrowdex.desktop entry.
    setDesktopFileName(QStringLiteral("marrowdex"));
}

int CMarrowdexApp::InitInstance() {
    CMarrowdexDlg window(ProgramDirectory());
    window.exec();
    return 0;
}

} // namespace mwdx
