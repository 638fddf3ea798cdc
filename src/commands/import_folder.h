#pragma once

// "Import folder…" in the tree's menu: a folder chooser, then the folder with everything in it
// imported under the catalog the menu was opened on (below the last item: at the top level).

#include "app/command.h"

namespace mwdx {

class ImportFolderCommand final : public Command {
public:
    explicit ImportFolderCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdImportFolder; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation& invocation) override;
    void ImportFolder();

private:
    CMarrowdexDlg& m_window;
    bool m_belowItems = false; // the menu was opened below the last item
};

} // namespace mwdx
