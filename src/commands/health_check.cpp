#include "commands/health_check.h"

#include "app/marrowdex_dlg.h"
#include "check/check_dlg.h"

namespace mwdx {

void HealthCheckCommand::OnCheck() {
    // The repairs act on the tree's nodes, which must be the store's.
    m_window.ReloadIfChangedElsewhere();
    CCheckDlg dialog(m_window);
    dialog.exec();
}

} // namespace mwdx
