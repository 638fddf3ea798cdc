// The catalog and document commands of the tree's menu. They arrive with the catalog commands
// (add, edit, delete) and the document commands (add a document, transfer it).

#include "app/marrowdex_dlg.h"

namespace mwdx {

void CMarrowdexDlg::AddSubCatalog() {}
void CMarrowdexDlg::AddNeighbourCatalog() {}
void CMarrowdexDlg::AddDocumentHere() {}
void CMarrowdexDlg::AddDocumentToRoot() {}
void CMarrowdexDlg::EditSelectedNode() {}
void CMarrowdexDlg::DeleteSelectedNode() {}

} // namespace mwdx
