#include "commands/import_folder.h"

#include "app/imports.h"
#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

namespace mwdx {

std::optional<MenuEntry> ImportFolderCommand::Menu() const {
    return MenuEntry{10, text::kImportFolder};
}

void ImportFolderCommand::Run(const Invocation& invocation) {
    m_belowItems = invocation.belowItems;
    ImportFolder();
    m_belowItems = false;
}

void ImportFolderCommand::ImportFolder() {
    if (m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    // Under the selected catalog, beside the selected document; at the top level when nothing is
    // selected or the menu was opened below the last item.
    CatalogNode* parent = m_belowItems ? nullptr : m_window.SelectedNode();
    if (parent != nullptr && !parent->IsCatalog()) {
        parent = parent->Parent() != nullptr && parent->Parent()->Parent() != nullptr ? parent->Parent() : nullptr;
    }
    const auto chosen =
        FolderPrompt::Ask(&m_window, QString::fromStdU16String(FromStoreText(m_window.HomeDirectory())));
    if (!chosen) {
        return;
    }
    const NodeId parentId = parent != nullptr ? parent->FileId() : 0;
    const NodeId before = LastNodeId();
    RunImports(m_window, &m_window, parent, {ToStoreText(chosen->toStdU16String())},
               SettingsCopy().deleteAfterAdding == 1);
    m_window.History().Record(AddStep(UndoKind::kImport, m_window.Catalog(), AddedSince(m_window.Catalog(), before)));
    // The catalog that received the folder is shown open, and selected.
    if (parentId != 0) {
        if (CatalogNode* node = m_window.Catalog().NodeById(parentId)) {
            m_window.ShowAndSelect(node);
            m_window.ExpandItem(m_window.ItemOf(node));
        }
    }
}

} // namespace mwdx
