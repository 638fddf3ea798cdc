#pragma once

// Moving a catalog or document to another catalog: chosen in the "Move to" window, or dragged
// onto a catalog, a document (its catalog) or the empty space below the tree (the top level). With
// several nodes selected or dragged, all of them go in one command.

#include "app/command.h"

#include <vector>

namespace mwdx {

class MoveNodeCommand final : public Command {
public:
    explicit MoveNodeCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdMoveNodeTo; }
    std::optional<MenuEntry> Menu() const override;
    // From the menu: the "Move to" window; a drop: the node dropped onto the target.
    void Run(const Invocation& invocation) override;
    void MoveSelectedNodeTo();
    // The node `fileId` dragged onto `target` (nullptr: the top level; a document: its catalog).
    void OnNodeDropped(NodeId fileId, CatalogNode* target);
    // The nodes `fileIds` dragged onto `target` together.
    void OnNodesDropped(const std::vector<NodeId>& fileIds, CatalogNode* target);

private:
    void MoveNodeInto(CatalogNode& node, CatalogNode* target);
    // Several nodes into `target`: the refused listed and the others moved if the user agrees,
    // behind the progress window, then shown selected where they went.
    void MoveNodesInto(const std::vector<CatalogNode*>& nodes, CatalogNode* target);

    CMarrowdexDlg& m_window;
};

} // namespace mwdx
