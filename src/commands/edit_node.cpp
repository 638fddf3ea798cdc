// Changing the selected node's name and comment. A catalog's directory follows its new name; the
// store, the node, the tree and the comment pane change only once the directory and the row have.

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "catalog/paths.h"
#include "commands/catalog_names.h"
#include "commands/dir_dlg.h"
#include "commands/doc_dlg.h"
#include "platform/file_ops.h"
#include "platform/text.h"
#include "store/connection.h"
#include "store/statements.h"

namespace mwdx {

namespace {

QString Wide(std::string_view narrow) {
    return QString::fromStdU16String(FromStoreText(narrow));
}

// Shows the dialog for the node's kind filled with its texts; false when the user cancelled.
bool AskNewTexts(CMarrowdexDlg& window, const CatalogNode& node, QString& name, QString& comment) {
    const NodeDetails& details = node.Details();
    if (node.IsCatalog()) {
        CDirDlg dialog(&window);
        dialog.m_nameText = Wide(details.fileName);
        dialog.m_commentText = Wide(details.comment);
        const CatalogNode* parent = node.Parent();
        dialog.m_checkName = [&node, parent, oldName = dialog.m_nameText](const QString& typed) {
            // A name kept as it is needs no check: a comment can always change.
            return typed == oldName ? 0 : CatalogNameRefusal(ToStoreText(typed.toStdU16String()), parent, &node);
        };
        if (dialog.exec() != QDialog::Accepted) {
            return false;
        }
        name = dialog.m_nameText;
        comment = dialog.m_commentText;
        return true;
    }
    CDocDlg dialog(&window);
    dialog.m_pathText = Wide(node.Path());
    dialog.m_nameText = Wide(details.fileName);
    dialog.m_commentText = Wide(details.comment);
    dialog.AllowFileChoice = 0;
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    name = dialog.m_nameText;
    comment = dialog.m_commentText;
    return true;
}

} // namespace

void CMarrowdexDlg::EditSelectedNode() {
    if (ReloadIfChangedElsewhere()) {
        return;
    }
    const QModelIndex item = GetSelectedItem();
    CatalogNode* node = ItemNode(item);
    if (node == nullptr) {
        return;
    }
    const std::string oldPath = NodePath(*node);
    const NodeDetails old = node->Details();

    QString newName;
    QString newComment;
    if (!AskNewTexts(*this, *node, newName, newComment)) {
        return;
    }
    if (newName == Wide(old.fileName) && newComment == Wide(old.comment)) {
        return;
    }
    const std::string name = ToStoreText(newName.toStdU16String());
    const std::string comment = ToStoreText(newComment.toStdU16String());

    // A catalog's directory takes the new name first (the missing parents of a nested new name
    // made on the way); if it cannot, nothing changes at all.
    const HomeTree home = KnowledgeBaseTree(m_catalog, oldPath);
    MadeDirectories madeParents;
    std::string renamedTo;
    if (node->IsCatalog() && name != old.fileName && node->Parent() != nullptr) {
        const std::string newPath = JoinNodePath(node->Parent()->Path(), name);
        if (PathExists(oldPath)) {
            if (!IsInKnowledgeBase(m_catalog, oldPath) || !IsInKnowledgeBase(m_catalog, newPath) ||
                !home.RenameNoReplace(oldPath, newPath, &madeParents)) {
                MessagePrompt::Show(this, text::kRenameFailed);
                return;
            }
            renamedTo = newPath;
        }
    }

    if (ExecStatement(UpdateNodeStatement(name, comment, old.fileId)) != kStatementOk) {
        if (!renamedTo.empty()) {
            home.RenameNoReplace(renamedTo, oldPath);
            home.RemoveMadeDirectories(madeParents);
        }
        MessagePrompt::Show(this, text::kChangeNotSaved);
        return;
    }

    if (node->IsCatalog() && name != old.fileName) {
        RebuildPaths(*node, name);
    }
    NodeDetails details;
    FillNodeDetails(details, old.fileId, name, old.parentId, comment, old.rawFileName);
    m_catalog.ReplaceNodeDetails(*node, details);
    SetCommentText(node->Details().comment);
    UpdateItemText(item);
}

} // namespace mwdx
