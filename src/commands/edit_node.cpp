#include "commands/edit_node.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "commands/dir_dlg.h"
#include "commands/doc_dlg.h"
#include "operations/edit_node.h"
#include "operations/names.h"
#include "platform/text.h"
#include "platform/text_ids.h"

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

std::optional<MenuEntry> EditNodeCommand::Menu() const {
    return MenuEntry{5, text::kUpdate, QKeySequence(Qt::Key_F2)};
}

void EditNodeCommand::EditSelectedNode() {
    if (m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = m_window.SelectedNode();
    if (node == nullptr) {
        return;
    }
    QString newName;
    QString newComment;
    if (!AskNewTexts(m_window, *node, newName, newComment)) {
        return;
    }
    const NodeId id = node->FileId();
    const std::string oldName = node->Details().fileName;
    const std::string oldComment = node->Details().comment;
    const std::string name = ToStoreText(newName.toStdU16String());
    const std::string comment = ToStoreText(newComment.toStdU16String());
    OpResult result =
        EditNodeOperation(m_window.Catalog(), m_window.HomeDirectory(), *node, name, comment, m_window.OwnFiles());
    if (result.message == text::kUseUntrackedFolder) {
        // The catalog's folder is gone and the new name is a folder with files no catalog owns:
        // taken, a later delete with files would take them too. Only the user may say so.
        const QString question =
            UiText(text::kUseUntrackedFolder).arg(QString::fromStdU16String(FromStoreText(TrimmedName(name))));
        if (!MessagePrompt::AskYesOrNo(&m_window, question)) {
            return;
        }
        result = EditNodeOperation(m_window.Catalog(), m_window.HomeDirectory(), *node, name, comment,
                                   m_window.OwnFiles(), true);
    }
    if (result.done) {
        m_window.History().Record(EditStep(m_window.Catalog(), id, oldName, oldComment));
        m_window.SetCommentText(node->Details().comment);
    }
    if (result.message != 0) {
        MessagePrompt::Show(&m_window, result.message);
    }
}

} // namespace mwdx
