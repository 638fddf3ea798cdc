#include "commands/add_document.h"

#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "commands/doc_dlg.h"
#include "operations/add_document.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

namespace mwdx {

namespace {

// Asks for the document and adds it under `parent` (nullptr: the root). When the knowledge base
// refuses it (a file of that name already there, ...), the window says why and comes back with
// what the user typed and chose, to change or to cancel.
void AddDocument(CMarrowdexDlg& window, CatalogNode* parent) {
    QString name;
    QString comment;
    QString path;
    while (true) {
        CDocDlg dialog(&window);
        dialog.AllowFileChoice = 1;
        dialog.m_nameText = name;
        dialog.m_commentText = comment;
        dialog.m_pathText = path;
        if (dialog.exec() != QDialog::Accepted) {
            return;
        }
        name = dialog.m_nameText;
        comment = dialog.m_commentText;
        path = dialog.m_pathText;
        NewDocument request;
        request.parent = parent;
        request.source = ToStoreText(path.toStdU16String());
        request.name = ToStoreText(name.toStdU16String());
        request.comment = ToStoreText(comment.toStdU16String());
        request.move = SettingsCopy().deleteAfterAdding == 1;
        request.program = window.OwnFiles();
        CatalogNode* added = nullptr;
        const OpResult result = AddDocumentOperation(window.Catalog(), window.HomeDirectory(), request,
                                                     TransferBehindProgress(&window), &added);
        if (result.done && added != nullptr) {
            window.History().Record(AddStep(UndoKind::kAddDocument, window.Catalog(), {added->FileId()}));
        }
        if (result.done) {
            // The catalog opens to show what it received.
            window.ExpandItem(window.ItemOf(parent));
        }
        if (result.message != 0) {
            MessagePrompt::Show(&window, result.message);
        }
        if (result.done) {
            return;
        }
    }
}

} // namespace

std::optional<MenuEntry> AddDocumentHereCommand::Menu() const {
    return MenuEntry{4, text::kAddDocumentHere};
}

void AddDocumentHereCommand::AddDocumentHere() {
    if (m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = m_window.SelectedNode();
    if (node == nullptr || node->IsCatalog()) {
        AddDocument(m_window, node);
    } else {
        // Beside the selected document: into its catalog, the Root Node for a top-level one.
        AddDocument(m_window, node->Parent());
    }
}

std::optional<MenuEntry> AddDocumentToRootCommand::Menu() const {
    return MenuEntry{3, text::kAddDocumentToRoot};
}

void AddDocumentToRootCommand::AddDocumentToRoot() {
    if (m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    AddDocument(m_window, nullptr);
}

} // namespace mwdx
