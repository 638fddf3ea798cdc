// Changing the selected node's name and comment: the window asks, the core renames the catalog's
// folder and writes the row, and the tree and the comment pane follow.

#include "operations/edit_node.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "commands/dir_dlg.h"
#include "commands/doc_dlg.h"
#include "operations/names.h"
#include "platform/text.h"

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
        dialog.m_checkName = [&node, parent](const QString& typed) {
            // A name kept as it is needs no check: a comment can always change.
            const std::string name = EditedName(ToStoreText(typed.toStdU16String()), node.Details().fileName);
            return name == node.Details().fileName ? 0 : CatalogNameRefusal(name, parent, &node);
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
    CatalogNode* node = ItemNode(GetSelectedItem());
    if (node == nullptr) {
        return;
    }
    QString newName;
    QString newComment;
    if (!AskNewTexts(*this, *node, newName, newComment)) {
        return;
    }
    const OpResult result = EditNodeOperation(m_catalog, HomeDirectory(), *node, ToStoreText(newName.toStdU16String()),
                                              ToStoreText(newComment.toStdU16String()), OwnFiles());
    if (result.done) {
        SetCommentText(node->Details().comment);
    }
    if (result.message != 0) {
        MessagePrompt::Show(this, result.message);
    }
}

} // namespace mwdx
