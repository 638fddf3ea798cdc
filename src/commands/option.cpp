#include "commands/option.h"

#include "app/marrowdex_dlg.h"
#include "config/config_dlg.h"

namespace mwdx {

void OptionCommand::OnOption() {
    CConfigDlg dialog(m_window);
    if (dialog.exec() == QDialog::Accepted && dialog.NewHomeTakenAsItIs()) {
        m_window.OnCommand(kCmdCheck, {Invocation::From::kWindow});
    }
}

} // namespace mwdx
