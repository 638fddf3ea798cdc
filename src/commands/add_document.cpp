// Adding a document to the selected catalog or to the root.

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "catalog/disk_rules.h"
#include "catalog/insert_remove.h"
#include "catalog/paths.h"
#include "commands/doc_dlg.h"
#include "commands/transfer.h"
#include "platform/file_ops.h"
#include "platform/home_fs.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

namespace mwdx {

namespace {

// Where a new document goes: under `node` (nullptr: the root) and, in the view, under `treeItem`.
struct Target {
    CatalogNode* node = nullptr;
    QModelIndex treeItem;
};

void AddDocument(CMarrowdexDlg& window, const Target& target) {
    CDocDlg dialog(&window);
    dialog.AllowFileChoice = 1;
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }

    // At the root the file goes into the Home Directory as set now; into a catalog, wherever the
    // catalog's path leads, which must still be inside the Home Directory it was built from.
    const SettingsRecord settings = SettingsCopy();
    const NodeId parentId = target.node != nullptr ? target.node->Details().fileId : 0;
    const std::int32_t pathLevel = target.node != nullptr ? target.node->PathLevel() + 1 : 1;
    const std::string directory = target.node != nullptr ? NodePath(*target.node) : std::string(RootDirOf(settings));
    const CatalogNode* root = window.Catalog().RootNode();
    std::string home(RootDirOf(settings));
    if (target.node != nullptr) {
        home = root != nullptr ? root->Path() : std::string();
    }

    const std::string source = ToStoreText(dialog.m_pathText.toStdU16String());
    const std::string rawFileName = source.substr(source.rfind('/') + 1);
    const std::string name = ToStoreText(dialog.m_nameText.toStdU16String());
    if (!IsSafeFileName(rawFileName) || name.find('\0') != std::string::npos) {
        MessagePrompt::Show(&window, text::kNameNotUsable);
        return;
    }
    const std::string destination = JoinNodePath(directory, rawFileName);
    if (!IsInsideHome(home, destination)) {
        MessagePrompt::Show(&window, text::kTransferFailed);
        return;
    }
    if (PathExists(destination)) {
        MessagePrompt::Show(&window, text::kFileNameTaken);
        return;
    }
    // The catalog's directory may have been removed outside the program.
    if (!HomeTree(home).MakeDirectoryPath(directory)) {
        MessagePrompt::Show(&window, text::kTransferFailed);
        return;
    }

    CatalogNode* node = InsertNode(window.Catalog(), name, ToStoreText(dialog.m_commentText.toStdU16String()),
                                   kDocumentType, parentId, rawFileName, pathLevel, target.node, destination);
    if (node == nullptr) {
        MessagePrompt::Show(&window, text::kAddFailed);
        return;
    }
    const QModelIndex item = window.AppendTreeItem(target.treeItem);
    window.ExpandItem(target.treeItem);

    if (RunDocumentTransfer(&window, home, source, destination, settings.deleteAfterAdding)) {
        return;
    }
    // The file did not arrive: the document must not stay behind without it.
    CatalogNode* parent = node->Parent();
    window.DeleteTreeItem(item);
    const bool removed = RemoveNode(window.Catalog(), *parent, node);
    if (!removed) {
        window.AppendTreeItem(target.treeItem); // still in the store and the tree: show it again
    }
    MessagePrompt::Show(&window, text::kTransferFailed);
    if (!removed) {
        MessagePrompt::Show(&window, text::kChangeNotSaved);
    }
}

} // namespace

void CMarrowdexDlg::AddDocumentHere() {
    if (ReloadIfChangedElsewhere()) {
        return;
    }
    const QModelIndex selected = GetSelectedItem();
    CatalogNode* node = ItemNode(selected);
    if (node == nullptr) {
        AddDocument(*this, {});
    } else if (node->IsCatalog()) {
        AddDocument(*this, {node, selected});
    } else {
        // Beside the selected document: into its catalog, the Root Node for a top-level one.
        AddDocument(*this, {node->Parent(), GetParentItem(selected)});
    }
}

void CMarrowdexDlg::AddDocumentToRoot() {
    if (ReloadIfChangedElsewhere()) {
        return;
    }
    AddDocument(*this, {});
}

} // namespace mwdx
