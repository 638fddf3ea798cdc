// Moving a catalog or document to another catalog: chosen in the "Move to" window, or dragged
// onto a catalog, a document (its catalog) or the empty space below the tree (the top level).

#include "operations/move_node.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "app/tree_ctrl_ex.h"
#include "commands/move_dlg.h"
#include "platform/text_ids.h"

namespace mwdx {

void CMarrowdexDlg::MoveSelectedNodeTo() {
    if (ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = ItemNode(GetSelectedItem());
    if (node == nullptr) {
        MessagePrompt::Show(this, text::kSelectNodeFirst);
        return;
    }
    CMoveDlg dialog(m_catalog, *node, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    MoveNodeInto(*node, dialog.Chosen());
}

void CMarrowdexDlg::OnNodeDropped(std::int64_t fileId, const QModelIndex& target) {
    if (ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = m_catalog.NodeById(fileId);
    CatalogNode* into = ItemNode(target);
    // A node let go where it was picked up is a drag given up, not a move into itself.
    if (node == nullptr || into == node) {
        return;
    }
    MoveNodeInto(*node, into);
}

void CMarrowdexDlg::MoveNodeInto(CatalogNode& node, CatalogNode* target) {
    const OpResult result = MoveNodeOperation(m_catalog, HomeDirectory(), node, target, OwnFiles());
    if (result.done) {
        // The node is shown where it went, the catalogs above it opened.
        const QModelIndex moved = ShowItem(&node);
        if (moved.isValid()) {
            SelectItem(moved);
            m_tree->scrollTo(moved);
        }
    }
    if (result.message != 0) {
        MessagePrompt::Show(this, result.message);
    }
}

} // namespace mwdx
