#include "commands/delete_node.h"

#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "operations/delete_node.h"
#include "operations/trash.h"
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
    // Into the trash: the rows always, the files when the settings say so. A rename, so it takes
    // no time whatever the size.
    const bool withFiles = SettingsCopy().deleteAfterNodeDelete == 1;
    std::int64_t entry = 0;
    OpResult result = DeleteToTrashOperation(m_window.Catalog(), m_window.HomeDirectory(), *node, withFiles,
                                             m_window.OwnFiles(), &entry);
    if (result.done) {
        m_window.History().Record(DeleteStep(m_window.HomeDirectory(), {entry}, withFiles));
    }
    if (!result.done && result.message == text::kTrashOtherFileSystem) {
        // Files the trash cannot take without a copy go for good, if the user says so; they are
        // removed on a worker behind the progress window, the rows and nodes gone by then.
        if (!MessagePrompt::AskYesOrNo(&m_window, UiText(text::kTrashOtherFileSystem))) {
            return;
        }
        result = DeleteNodeOperation(m_window.Catalog(), m_window.HomeDirectory(), *node, true, m_window.OwnFiles(),
                                     RemovalBehindProgress(&m_window, text::kDeletingFiles));
    }
    if (result.message != 0) {
        MessagePrompt::Show(&m_window, result.message);
    }
}

} // namespace mwdx
