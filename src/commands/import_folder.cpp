// "Import folder…" in the tree's menu: a folder chooser, then the folder with everything in it
// imported under the catalog the menu was opened on (below the last item: at the top level).

#include "commands/import_folder.h"

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "commands/work_dlg.h"
#include "operations/import_folder.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

#include <QStringList>

namespace mwdx {

namespace {

// Each import's share of the bar, so that one big folder among small ones still moves it.
constexpr std::size_t kStepsPerImport = 1000;

} // namespace

bool RunImports(CMarrowdexDlg& window, QWidget* owner, CatalogNode* parent, const std::vector<std::string>& sources,
                bool move) {
    const std::string home = window.HomeDirectory();
    const ProgramFiles program = window.OwnFiles();
    std::vector<SkippedEntry> skipped;
    int failure = 0;
    bool cancelled = false;
    window.DetachTree();
    const bool ran = RunBehindProgress(owner, text::kImportInProgress, true, [&](WorkProgress& progress) {
        const std::size_t total = sources.size() * kStepsPerImport;
        for (std::size_t i = 0; i < sources.size() && !cancelled; ++i) {
            ImportControl control;
            control.cancel = &progress.cancel;
            control.progress = [&progress, i, total](std::size_t done, std::size_t of) {
                progress.Report(i * kStepsPerImport + (of > 0 ? done * kStepsPerImport / of : 0), total);
            };
            const ImportResult result =
                ImportOperation(window.Catalog(), home, parent, sources[i], move, program, control);
            skipped.insert(skipped.end(), result.skipped.begin(), result.skipped.end());
            if (!result.result.done && failure == 0) {
                failure = result.result.message;
            }
            cancelled = result.cancelled || progress.cancel.load();
            progress.Report((i + 1) * kStepsPerImport, total);
        }
    });
    window.AttachTree();
    if (!ran) {
        failure = text::kAddFailed;
    }
    if (failure != 0) {
        MessagePrompt::Show(owner, failure);
    }
    if (!skipped.empty()) {
        QStringList list;
        for (const SkippedEntry& entry : skipped) {
            list << QStringLiteral("%1: %2").arg(QString::fromStdU16String(FromStoreText(entry.path)),
                                                 UiText(entry.reason));
        }
        MessagePrompt::Show(owner, UiText(text::kEntriesSkipped) + QString::number(skipped.size()),
                            list.join(QLatin1Char('\n')));
    }
    if (cancelled) {
        MessagePrompt::Show(owner, text::kImportCancelled);
    }
    return ran && failure == 0 && !cancelled;
}

void CMarrowdexDlg::ImportFolder() {
    if (ReloadIfChangedElsewhere()) {
        return;
    }
    // Under the selected catalog, beside the selected document; at the top level when nothing is
    // selected or the menu was opened below the last item.
    CatalogNode* parent = m_menuBelowItems ? nullptr : ItemNode(GetSelectedItem());
    if (parent != nullptr && !parent->IsCatalog()) {
        parent = parent->Parent() != nullptr && parent->Parent()->Parent() != nullptr ? parent->Parent() : nullptr;
    }
    const auto chosen = FolderPrompt::Ask(this, QString::fromStdU16String(FromStoreText(HomeDirectory())));
    if (!chosen) {
        return;
    }
    const NodeId parentId = parent != nullptr ? parent->FileId() : 0;
    RunImports(*this, this, parent, {ToStoreText(chosen->toStdU16String())}, SettingsCopy().deleteAfterAdding == 1);
    // The view starts from the top again: the catalog that received the folder is shown open.
    if (parentId != 0) {
        if (CatalogNode* node = m_catalog.NodeById(parentId)) {
            std::vector<const CatalogNode*> way;
            for (const CatalogNode* n = node; n != nullptr && n->Parent() != nullptr; n = n->Parent()) {
                way.push_back(n);
            }
            for (auto it = way.rbegin(); it != way.rend(); ++it) {
                ExpandItem(ItemOf(*it));
            }
            SelectItem(ItemOf(node));
        }
    }
}

} // namespace mwdx
