#pragma once

// Opening a node: a document's file or a catalog's folder with the desktop's own application (the
// menu's Open, Enter, a double click on a document), and the folder that holds a node. A missing
// file or folder is named in a message instead.

#include "app/command.h"

namespace mwdx {

class OpenNodeCommand final : public Command {
public:
    explicit OpenNodeCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdOpenNode; }
    std::optional<MenuEntry> Menu() const override;
    // From the menu: the selected node. Enter or a double click on an item: a document opens; a
    // catalog has opened or closed in the tree already.
    void Run(const Invocation& invocation) override;
    void OpenSelectedNode();

private:
    CMarrowdexDlg& m_window;
};

class ShowInFolderCommand final : public Command {
public:
    explicit ShowInFolderCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdShowInFolder; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation&) override { ShowSelectedInFolder(); }
    void ShowSelectedInFolder();

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
