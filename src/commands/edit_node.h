#pragma once

// Changing the selected node's name and comment: the window asks, the core renames the catalog's
// folder and writes the row, and the tree and the comment pane follow.

#include "app/command.h"

namespace mwdx {

class EditNodeCommand final : public Command {
public:
    explicit EditNodeCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdEditNode; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation&) override { EditSelectedNode(); }
    void EditSelectedNode();

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
