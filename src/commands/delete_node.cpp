// Deleting the selected node with everything below it, after asking: the core deletes the rows,
// the nodes and (when the settings say so) the files no remaining node uses.

#include "operations/delete_node.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

namespace mwdx {

void CMarrowdexDlg::DeleteSelectedNode() {
    // A tree older than the store could delete files that nodes added since still use.
    if (ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = ItemNode(GetSelectedItem());
    if (node == nullptr || node->Parent() == nullptr) {
        MessagePrompt::Show(this, text::kSelectToDelete);
        return;
    }
    const QString question = UiText(text::kConfirmDelete) +
                             UiText(node->IsCatalog() ? text::kCatalogWord : text::kDocumentWord) +
                             QString::fromStdU16String(FromStoreText(node->Details().fileName));
    if (!MessagePrompt::Confirm(this, question, text::kCaution)) {
        return;
    }
    const OpResult result =
        DeleteNodeOperation(m_catalog, HomeDirectory(), *node, SettingsCopy().deleteAfterNodeDelete == 1, OwnFiles());
    if (result.message != 0) {
        MessagePrompt::Show(this, result.message);
    }
}

} // namespace mwdx
