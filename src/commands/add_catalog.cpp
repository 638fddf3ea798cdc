#include "commands/add_catalog.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "commands/dir_dlg.h"
#include "operations/add_catalog.h"
#include "operations/names.h"
#include "platform/text.h"
#include "platform/text_ids.h"

namespace mwdx {

namespace {

void AddCatalog(CMarrowdexDlg& window, bool neighbour) {
    if (window.ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = window.SelectedNode();
    CatalogNode* parent = nullptr; // the top level
    if (node != nullptr && !neighbour) {
        if (!node->IsCatalog()) {
            MessagePrompt::Show(&window, text::kNoCatalogUnderDocument);
            return;
        }
        parent = node;
    } else if (node != nullptr) {
        parent = node->Parent();
    }
    const CatalogNode* siblingsOf = parent != nullptr ? parent : window.Catalog().RootNode();

    CDirDlg dialog(&window);
    dialog.m_checkName = [siblingsOf](const QString& name) {
        return CatalogNameRefusal(ToStoreText(name.toStdU16String()), siblingsOf, nullptr);
    };
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    CatalogNode* added = nullptr;
    const OpResult result = AddCatalogOperation(
        window.Catalog(), window.HomeDirectory(),
        {parent, ToStoreText(dialog.m_nameText.toStdU16String()), ToStoreText(dialog.m_commentText.toStdU16String())},
        &added);
    if (result.done && added != nullptr) {
        window.History().Record(AddStep(UndoKind::kAddCatalog, window.Catalog(), {added->FileId()}));
    }
    if (result.done) {
        // The selected catalog opens to show what it received.
        window.ExpandItem(window.ItemOf(node));
    }
    if (result.message != 0) {
        MessagePrompt::Show(&window, result.message);
    }
}

} // namespace

std::optional<MenuEntry> AddSubCatalogCommand::Menu() const {
    return MenuEntry{1, text::kAddSubCatalog, QKeySequence(Qt::Key_Insert)};
}

void AddSubCatalogCommand::AddSubCatalog() {
    AddCatalog(m_window, false);
}

std::optional<MenuEntry> AddNeighbourCatalogCommand::Menu() const {
    return MenuEntry{2, text::kAddNeighbourCatalog};
}

void AddNeighbourCatalogCommand::AddNeighbourCatalog() {
    AddCatalog(m_window, true);
}

} // namespace mwdx
