#pragma once

// Deleting the selected node with everything below it, after asking: the core moves the rows and
// (when the settings say so) the files no remaining node uses into the trash, and drops the nodes.
// With several nodes selected, one question and one progress window for all of them.

#include "app/command.h"

#include <vector>

namespace mwdx {

class DeleteNodeCommand final : public Command {
public:
    explicit DeleteNodeCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdDeleteNode; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation&) override { DeleteSelectedNode(); }
    void DeleteSelectedNode();

private:
    void DeleteNodes(const std::vector<CatalogNode*>& nodes);

    CMarrowdexDlg& m_window;
};

} // namespace mwdx
