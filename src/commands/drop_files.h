#pragma once

// Files and folders dropped onto the tree from the file manager: each file becomes a document of
// the catalog it was dropped on (a document stands for its catalog, empty space for the top
// level), named after its file, moved or copied as the options say; each folder is imported with
// everything in it. One window shows the batch, Cancel stops after the file under way, and
// whatever could not be added is listed at the end.

#include "app/command.h"

#include <string>
#include <vector>

namespace mwdx {

class DropFilesCommand final : public Command {
public:
    explicit DropFilesCommand(CMarrowdexDlg& window) : m_window(window) {}
    int Id() const override { return kCmdDropFiles; }
    void Run(const Invocation& invocation) override { OnFilesDropped(invocation.droppedFiles, invocation.target); }
    // `paths` (UTF-8) dropped onto `target` (nullptr: the top level; a document: its catalog).
    void OnFilesDropped(const std::vector<std::string>& paths, CatalogNode* target);

private:
    CMarrowdexDlg& m_window;
};

} // namespace mwdx
