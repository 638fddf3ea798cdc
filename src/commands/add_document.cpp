// Adding a document to the selected catalog or to the root: the window asks for the file, its
// name and comment, the core moves or copies it in behind the progress window and writes its row.

#include "operations/add_document.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "commands/doc_dlg.h"
#include "commands/transfer.h"
#include "platform/text.h"
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
    NewDocument request;
    request.parent = target.node;
    request.source = ToStoreText(dialog.m_pathText.toStdU16String());
    request.name = ToStoreText(dialog.m_nameText.toStdU16String());
    request.comment = ToStoreText(dialog.m_commentText.toStdU16String());
    request.move = SettingsCopy().deleteAfterAdding == 1;
    request.program = window.OwnFiles();
    const OpResult result =
        AddDocumentOperation(window.Catalog(), window.HomeDirectory(), request, TransferBehindProgressWindow(&window));
    if (result.done) {
        window.ExpandItem(target.treeItem);
    }
    if (result.message != 0) {
        MessagePrompt::Show(&window, result.message);
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
