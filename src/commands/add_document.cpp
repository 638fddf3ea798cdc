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

// Asks for the document and adds it under `parent` (nullptr: the root).
void AddDocument(CMarrowdexDlg& window, CatalogNode* parent) {
    CDocDlg dialog(&window);
    dialog.AllowFileChoice = 1;
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    NewDocument request;
    request.parent = parent;
    request.source = ToStoreText(dialog.m_pathText.toStdU16String());
    request.name = ToStoreText(dialog.m_nameText.toStdU16String());
    request.comment = ToStoreText(dialog.m_commentText.toStdU16String());
    request.move = SettingsCopy().deleteAfterAdding == 1;
    request.program = window.OwnFiles();
    const OpResult result =
        AddDocumentOperation(window.Catalog(), window.HomeDirectory(), request, TransferBehindProgress(&window));
    if (result.done) {
        // The catalog opens to show what it received.
        window.ExpandItem(window.ItemOf(parent));
    }
    if (result.message != 0) {
        MessagePrompt::Show(&window, result.message);
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
