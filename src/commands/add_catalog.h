#pragma once

// Adding a catalog under the selected one or beside it: the window asks for its name and comment,
// the core makes the folder and the row, and the tree follows by itself.

#include "app/command.h"

namespace mwdx {

class AddSubCatalogCommand final : public Command {
public:
    explicit AddSubCatalogCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdAddSubCatalog; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation&) override { AddSubCatalog(); }
    // Under the selected catalog; at the top level when nothing is selected.
    void AddSubCatalog();

private:
    CMarrowdexDlg& m_window;
};

class AddNeighbourCatalogCommand final : public Command {
public:
    explicit AddNeighbourCatalogCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdAddNeighbourCatalog; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation&) override { AddNeighbourCatalog(); }
    // Beside the selected node, under its catalog.
    void AddNeighbourCatalog();

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
