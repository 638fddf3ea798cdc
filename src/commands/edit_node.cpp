#include "app/marrowdex_dlg.h"
namespace mwdx {
void CMarrowdexDlg::EditSelectedNode() {}
} // namespace mwdx
