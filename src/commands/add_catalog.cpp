// Adding a catalog under the selected one or beside it: the window asks for its name and comment,
// the core makes the folder and the row, and the tree follows by itself.

#include "operations/add_catalog.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "commands/dir_dlg.h"
#include "operations/names.h"
#include "platform/text.h"
#include "platform/text_ids.h"

namespace mwdx {

namespace {

void AddCatalog(CMarrowdexDlg& window, bool neighbour) {
    if (window.ReloadIfChangedElsewhere()) {
        return;
    }
    const QModelIndex selected = window.GetSelectedItem();
    CatalogNode* node = window.ItemNode(selected);
    CatalogNode* parent = nullptr; // the top level
    if (node != nullptr && !neighbour) {
        if (!node->IsCatalog()) {
            MessagePrompt::Show(&window, text::kNoCatalogUnderDocument);
            return;
        }
        parent = node;
    } else if (node != nullptr) {
        parent = node->Parent();
    }
    const CatalogNode* siblingsOf = parent != nullptr ? parent : window.Catalog().RootNode();

    CDirDlg dialog(&window);
    dialog.m_checkName = [siblingsOf](const QString& name) {
        return CatalogNameRefusal(ToStoreText(name.toStdU16String()), siblingsOf, nullptr);
    };
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const OpResult result = AddCatalogOperation(
        window.Catalog(), window.HomeDirectory(),
        {parent, ToStoreText(dialog.m_nameText.toStdU16String()), ToStoreText(dialog.m_commentText.toStdU16String())});
    if (result.done) {
        window.ExpandItem(selected);
    }
    if (result.message != 0) {
        MessagePrompt::Show(&window, result.message);
    }
}

} // namespace

void CMarrowdexDlg::AddSubCatalog() {
    AddCatalog(*this, false);
}

void CMarrowdexDlg::AddNeighbourCatalog() {
    AddCatalog(*this, true);
}

} // namespace mwdx
