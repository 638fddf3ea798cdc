// Adding a catalog under the selected one or beside it: the row, the node, the tree item and
// the directory under the Home Directory.

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "catalog/insert_remove.h"
#include "commands/catalog_names.h"
#include "commands/dir_dlg.h"
#include "platform/text.h"

namespace mwdx {

namespace {

// Where a new catalog goes, and what the view does afterwards.
struct CatalogTarget {
    NodeId parentId = 0;
    std::int32_t pathLevel = 1;
    CatalogNode* parentNode = nullptr; // nullptr: the Root Node
    std::string parentPath;
    QModelIndex treeParent; // invalid: the top level
    QModelIndex expandItem;
};

// The path of a new catalog: the separator is added only when the parent path lacks one.
std::string NewCatalogPath(const std::string& parentPath, std::string_view name) {
    std::string path = parentPath;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path.append(name);
    return path;
}

void AddCatalog(CMarrowdexDlg& window, bool neighbour) {
    if (window.ReloadIfChangedElsewhere()) {
        return;
    }
    const QModelIndex selected = window.GetSelectedItem();
    CatalogNode* node = window.ItemNode(selected);
    CatalogTarget target;
    if (node == nullptr) {
        target.parentPath = HomeDirectory(window.Catalog());
    } else if (!neighbour) {
        if (!node->IsCatalog()) {
            MessagePrompt::Show(&window, text::kNoCatalogUnderDocument);
            return;
        }
        target = {node->Details().fileId, node->PathLevel() + 1, node, node->Path(), selected, selected};
    } else {
        CatalogNode* parent = node->Parent();
        const bool topLevel = parent == window.Catalog().RootNode();
        target = {
            topLevel ? 0 : parent->Details().fileId, node->PathLevel(), topLevel ? nullptr : parent, parent->Path(),
            window.GetParentItem(selected),          selected};
    }
    const CatalogNode* siblingsOf = target.parentNode != nullptr ? target.parentNode : window.Catalog().RootNode();

    CDirDlg dialog(&window);
    dialog.m_checkName = [siblingsOf](const QString& name) {
        return CatalogNameRefusal(ToStoreText(name.toStdU16String()), siblingsOf, nullptr);
    };
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const std::string name = ToStoreText(dialog.m_nameText.toStdU16String());
    const std::string comment = ToStoreText(dialog.m_commentText.toStdU16String());
    const std::string path = NewCatalogPath(target.parentPath, name);
    // Nothing is made outside the Home Directory, whatever the parent's stored path says.
    if (!IsInKnowledgeBase(window.Catalog(), path)) {
        MessagePrompt::Show(&window, text::kAddFailed);
        return;
    }

    CatalogNode* added = InsertNode(window.Catalog(), name, comment, kCatalogType, target.parentId, "",
                                    target.pathLevel, target.parentNode, path);
    if (added != nullptr) {
        window.AppendTreeItem(target.treeParent);
        window.ExpandItem(target.expandItem);
    } else {
        MessagePrompt::Show(&window, text::kAddFailed);
    }
    if (!KnowledgeBaseTree(window.Catalog(), path).MakeDirectoryPath(path)) {
        MessagePrompt::Show(&window, text::kAddFailed);
    }
}

} // namespace

void CMarrowdexDlg::AddSubCatalog() {
    AddCatalog(*this, false);
}

void CMarrowdexDlg::AddNeighbourCatalog() {
    AddCatalog(*this, true);
}

} // namespace mwdx
