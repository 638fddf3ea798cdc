#include "commands/move_node.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "commands/move_dlg.h"
#include "operations/move_node.h"
#include "platform/text_ids.h"

namespace mwdx {

std::optional<MenuEntry> MoveNodeCommand::Menu() const {
    return MenuEntry{9, text::kMoveTo};
}

void MoveNodeCommand::Run(const Invocation& invocation) {
    if (invocation.from == Invocation::From::kDrop) {
        OnNodeDropped(invocation.droppedNode, invocation.target);
    } else {
        MoveSelectedNodeTo();
    }
}

void MoveNodeCommand::MoveSelectedNodeTo() {
    if (m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = m_window.SelectedNode();
    if (node == nullptr) {
        MessagePrompt::Show(&m_window, text::kSelectNodeFirst);
        return;
    }
    CMoveDlg dialog(m_window.Catalog(), node, &m_window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    MoveNodeInto(*node, dialog.Chosen());
}

void MoveNodeCommand::OnNodeDropped(NodeId fileId, CatalogNode* target) {
    // A store changed elsewhere is loaded again, and the nodes the drop named with it.
    if (m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = m_window.Catalog().NodeById(fileId);
    // A node let go where it was picked up is a drag given up, not a move into itself.
    if (node == nullptr || target == node) {
        return;
    }
    MoveNodeInto(*node, target);
}

void MoveNodeCommand::MoveNodeInto(CatalogNode& node, CatalogNode* target) {
    const NodeId oldParent = node.Parent() != nullptr && node.Parent()->Parent() != nullptr ? node.Parent()->FileId() : 0;
    const OpResult result =
        MoveNodeOperation(m_window.Catalog(), m_window.HomeDirectory(), node, target, m_window.OwnFiles());
    if (result.done) {
        m_window.History().Record(MoveStep(m_window.Catalog(), {{node.FileId(), oldParent}}));
        // The node is shown where it went, the catalogs above it opened, and selected.
        m_window.ShowAndSelect(&node);
    }
    if (result.message != 0) {
        MessagePrompt::Show(&m_window, result.message);
    }
}

} // namespace mwdx
