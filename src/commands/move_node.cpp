#include "commands/move_node.h"

#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "catalog/selection.h"
#include "commands/many_nodes.h"
#include "commands/move_dlg.h"
#include "operations/move_node.h"
#include "platform/text_ids.h"

#include <algorithm>

namespace mwdx {

std::optional<MenuEntry> MoveNodeCommand::Menu() const {
    return MenuEntry{9, text::kMoveTo};
}

void MoveNodeCommand::Run(const Invocation& invocation) {
    if (invocation.from == Invocation::From::kDrop && invocation.droppedNodes.size() > 1) {
        OnNodesDropped(invocation.droppedNodes, invocation.target);
    } else if (invocation.from == Invocation::From::kDrop) {
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
    // With several selected, the window leaves out the current node's own catalogs; a catalog
    // below another selected node is refused with the rest.
    CMoveDlg dialog(m_window.Catalog(), node, &m_window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    if (const std::vector<CatalogNode*> nodes = m_window.SelectedNodes(); nodes.size() > 1) {
        MoveNodesInto(nodes, dialog.Chosen());
        return;
    }
    MoveNodeInto(*node, dialog.Chosen());
}

void MoveNodeCommand::OnNodesDropped(const std::vector<NodeId>& fileIds, CatalogNode* target) {
    if (m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    std::vector<CatalogNode*> nodes;
    for (const NodeId id : fileIds) {
        if (CatalogNode* node = m_window.Catalog().NodeById(id)) {
            nodes.push_back(node);
        }
    }
    // Let go on one of themselves: a drag given up, as for one node.
    if (nodes.empty() || std::find(nodes.begin(), nodes.end(), target) != nodes.end()) {
        return;
    }
    MoveNodesInto(nodes, target);
}

void MoveNodeCommand::MoveNodesInto(const std::vector<CatalogNode*>& nodes, CatalogNode* target) {
    CatalogModel& catalog = m_window.Catalog();
    const std::string home = m_window.HomeDirectory();
    const ProgramFiles own = m_window.OwnFiles();
    std::size_t going = 0;
    const std::vector<NodeRefusal> refused = CheckMoveNodes(catalog, home, nodes, target, own, &going);
    if (!AgreeToRefusals(&m_window, refused, going) || going == 0) {
        return;
    }
    const CatalogNode* current = m_window.SelectedNode();
    // The catalog they go into (a document stands for its own); those in it already stay.
    const CatalogNode* into = target == nullptr ? catalog.RootNode() : target;
    if (into != nullptr && !into->IsCatalog()) {
        into = into->Parent();
    }
    std::vector<CatalogNode*> moving = TopNodes(nodes);
    std::erase_if(moving, [into](const CatalogNode* node) { return node->Parent() == into; });
    // Where each came from, for undo: its catalog, 0 for the top level.
    std::vector<std::pair<NodeId, NodeId>> from;
    for (const CatalogNode* node : moving) {
        const CatalogNode* parent = node->Parent();
        from.emplace_back(node->FileId(), parent != nullptr && parent->Parent() != nullptr ? parent->FileId() : 0);
    }
    ManyNodesResult many;
    m_window.DetachTree();
    const bool ran = RunBehindProgress(&m_window, text::kMovingNodes, false, [&](WorkProgress& progress) {
        many = MoveNodesOperation(catalog, home, nodes, target, own,
                                  [&progress](std::size_t done, std::size_t total) { progress.Report(done, total); });
    });
    m_window.AttachTree();
    if (!ran) {
        MessagePrompt::Show(&m_window, text::kMoveFailed);
        return;
    }
    if (many.result.done && many.acted > 0) {
        std::vector<std::pair<NodeId, NodeId>> moved;
        std::vector<CatalogNode*> shown;
        for (std::size_t i = 0; i < moving.size(); ++i) {
            const CatalogNode* node = moving[i];
            if (std::none_of(many.refused.begin(), many.refused.end(),
                             [node](const NodeRefusal& refusal) { return refusal.node == node; })) {
                moved.push_back(from[i]);
                shown.push_back(moving[i]);
            }
        }
        // The whole move is one step for undo, however many nodes it took.
        m_window.History().Record(MoveStep(catalog, moved));
        m_window.ShowAndSelect(shown,
                               std::find(shown.begin(), shown.end(), current) != shown.end() ? current : shown.front());
    }
    if (!many.result.done && many.result.message != 0) {
        MessagePrompt::Show(&m_window, many.result.message);
    } else if (many.refused.size() > refused.size()) {
        // Refused only now (something changed on disk since the question): said after the move.
        ShowNodesLeft(&m_window, many.refused);
    }
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
    const NodeId oldParent =
        node.Parent() != nullptr && node.Parent()->Parent() != nullptr ? node.Parent()->FileId() : 0;
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
