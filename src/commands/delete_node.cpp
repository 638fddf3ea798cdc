#include "commands/delete_node.h"

#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "operations/delete_node.h"
#include "platform/home_fs.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

namespace mwdx {

std::optional<MenuEntry> DeleteNodeCommand::Menu() const {
    return MenuEntry{6, text::kDelete, QKeySequence(Qt::Key_Delete)};
}

void DeleteNodeCommand::DeleteSelectedNode() {
    // A tree older than the store could delete files that nodes added since still use.
    if (m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* node = m_window.SelectedNode();
    if (node == nullptr || node->Parent() == nullptr) {
        MessagePrompt::Show(&m_window, text::kSelectToDelete);
        return;
    }
    const QString question = UiText(text::kConfirmDelete) +
                             UiText(node->IsCatalog() ? text::kCatalogWord : text::kDocumentWord) +
                             QString::fromStdU16String(FromStoreText(node->Details().fileName));
    if (!MessagePrompt::Confirm(&m_window, question, text::kCaution)) {
        return;
    }
    // The files go for good on a worker, behind the progress window: a catalog of a hundred
    // thousand files takes seconds. The rows and nodes are gone by then.
    const FileRemovalStep removal = [this](const HomeTree& tree, const std::string& aside, std::size_t entries,
                                           std::string* error) {
        bool removed = false;
        RunBehindProgress(&m_window, text::kDeletingFiles, false, [&](WorkProgress& progress) {
            removed = RemoveDeletedFiles(
                tree, aside, entries,
                [&progress](std::size_t done, std::size_t total) { progress.Report(done, total); }, error);
        });
        return removed;
    };
    const OpResult result =
        DeleteNodeOperation(m_window.Catalog(), m_window.HomeDirectory(), *node,
                            SettingsCopy().deleteAfterNodeDelete == 1, m_window.OwnFiles(), removal);
    if (result.message != 0) {
        MessagePrompt::Show(&m_window, result.message);
    }
}

} // namespace mwdx
