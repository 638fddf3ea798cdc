// Adding a document to the selected catalog or to the root.

#include "app/marrowdex_dlg.h"

namespace mwdx {

void CMarrowdexDlg::AddDocumentHere() {}
void CMarrowdexDlg::AddDocumentToRoot() {}

} // namespace mwdx
