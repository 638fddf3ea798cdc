#pragma once

// The Trash window, from the tree's menu or its key anywhere in the main window: restoring what
// was deleted, under a catalog the user chooses when its own is gone, or deleting it for good.

#include "app/command.h"

namespace mwdx {

class OpenTrashCommand final : public Command {
public:
    explicit OpenTrashCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdTrash; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation&) override { OnTrash(); }
    void OnTrash();

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
