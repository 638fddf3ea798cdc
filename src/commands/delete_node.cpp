// Deleting the selected node with everything below it: first the rows, then the tree and the
// nodes, then (when the settings say so) the files, but only those no remaining node uses.

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "catalog/insert_remove.h"
#include "commands/catalog_names.h"
#include "platform/file_ops.h"
#include "platform/text.h"

namespace mwdx {

void CMarrowdexDlg::DeleteSelectedNode() {
    // A tree older than the store could delete files that nodes added since still use.
    if (ReloadIfChangedElsewhere()) {
        return;
    }
    const QModelIndex item = GetSelectedItem();
    CatalogNode* node = ItemNode(item);
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

    const std::string path = node->Path();
    const bool deleteFiles = SettingsCopy().deleteAfterNodeDelete == 1;
    // Decided while the whole tree is still there: another node at or below the path keeps it.
    const bool filesInUse = deleteFiles && OtherNodeLivesAt(*m_catalog.RootNode(), *node, path);
    const bool filesInside = deleteFiles && IsInKnowledgeBase(m_catalog, path);

    if (!DeleteSubtreeRows(*node)) {
        MessagePrompt::Show(this, text::kChangeNotSaved);
        return;
    }
    CatalogNode* parent = node->Parent();
    DeleteTreeItem(item);
    m_catalog.UnlinkAndFree(*parent, *node);

    if (!deleteFiles) {
        return;
    }
    if (filesInUse) {
        MessagePrompt::Show(this, text::kFilesKept);
    } else if (PathExists(path) && (!filesInside || !KnowledgeBaseTree(m_catalog, path).DeletePath(path))) {
        MessagePrompt::Show(this, text::kSomeFilesNotDeleted);
    }
}

} // namespace mwdx
