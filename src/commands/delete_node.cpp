#include "commands/delete_node.h"

#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "commands/many_nodes.h"
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
    if (const std::vector<CatalogNode*> nodes = m_window.SelectedNodes(); nodes.size() > 1) {
        DeleteNodes(nodes);
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

void DeleteNodeCommand::DeleteNodes(const std::vector<CatalogNode*>& nodes) {
    // Every selected node goes, those below another one with it: the count is what the user chose.
    const bool withFiles = SettingsCopy().deleteAfterNodeDelete == 1;
    const QString question = UiText(withFiles ? text::kConfirmDeleteNodesWithFiles : text::kConfirmDeleteNodes)
                                 .arg(static_cast<qulonglong>(nodes.size()));
    if (!MessagePrompt::AskYesOrNo(&m_window, question)) {
        return;
    }
    CatalogModel& catalog = m_window.Catalog();
    const std::string home = m_window.HomeDirectory();
    const ProgramFiles own = m_window.OwnFiles();
    ManyNodesResult many;
    std::vector<std::int64_t> entries;
    m_window.DetachTree();
    const bool ran = RunBehindProgress(&m_window, text::kDeletingNodes, false, [&](WorkProgress& progress) {
        many = DeleteNodesToTrashOperation(
            catalog, home, nodes, withFiles, own,
            [&progress](std::size_t done, std::size_t total) { progress.Report(done, total); }, &entries);
    });
    m_window.AttachTree();
    if (!ran) {
        MessagePrompt::Show(&m_window, text::kChangeNotSaved);
        return;
    }
    // The whole delete is one step for undo, however many entries it made.
    if (!entries.empty()) {
        m_window.History().Record(DeleteStep(home, entries, withFiles));
    }
    ShowNodesLeft(&m_window, many.refused);
    if (many.result.done && many.result.message != 0) {
        MessagePrompt::Show(&m_window, many.result.message);
    }
}

} // namespace mwdx
