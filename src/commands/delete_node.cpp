#include "app/marrowdex_dlg.h"
namespace mwdx {
void CMarrowdexDlg::DeleteSelectedNode() {}
} // namespace mwdx
