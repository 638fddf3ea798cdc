#include "app/marrowdex_dlg.h"
namespace mwdx {
void CMarrowdexDlg::AddSubCatalog() {}
void CMarrowdexDlg::AddNeighbourCatalog() {}
} // namespace mwdx
