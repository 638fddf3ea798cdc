#pragma once

// Adding a document to the selected catalog or to the root: the window asks for the file, its
// name and comment, the core moves or copies it in behind the progress window and writes its row.

#include "app/command.h"

namespace mwdx {

class AddDocumentHereCommand final : public Command {
public:
    explicit AddDocumentHereCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdAddDocumentHere; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation&) override { AddDocumentHere(); }
    // Into the selected catalog, beside the selected document; at the root when nothing is
    // selected.
    void AddDocumentHere();

private:
    CMarrowdexDlg& m_window;
};

class AddDocumentToRootCommand final : public Command {
public:
    explicit AddDocumentToRootCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdAddDocumentToRoot; }
    std::optional<MenuEntry> Menu() const override;
    void Run(const Invocation&) override { AddDocumentToRoot(); }
    void AddDocumentToRoot();

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
