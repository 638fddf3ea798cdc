#include "commands/drop_files.h"

#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "operations/drop_batch.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

namespace mwdx {

namespace {

QString Line(const std::string& path, int message) {
    return QStringLiteral("\n%1: %2").arg(QString::fromStdU16String(FromStoreText(path)), UiText(message));
}

} // namespace

void DropFilesCommand::OnFilesDropped(const std::vector<std::string>& paths, CatalogNode* target) {
    if (paths.empty() || m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* into = DropTarget(target);
    const NodeId intoId = into != nullptr ? into->FileId() : 0;
    const bool move = SettingsCopy().deleteAfterAdding == 1;
    const std::string home = m_window.HomeDirectory();
    const ProgramFiles program = m_window.OwnFiles();
    CatalogModel& catalog = m_window.Catalog();

    DropResult result;
    const NodeId before = LastNodeId();
    // The batch changes the catalog on the worker's thread; the view lets go of it meanwhile.
    m_window.DetachTree();
    RunBehindProgress(&m_window, ProgressLook{ProgressLook::Kind::kBatch}, [&](WorkProgress& progress) {
        const std::vector<DroppedEntry> entries = LookAtDropped(paths);
        const std::uint64_t bytes = DroppedBytes(entries);
        progress.items = entries.size();
        progress.Report(0, bytes);
        std::uint64_t bytesDone = 0; // of the entries ended
        DropControl control;
        control.cancel = &progress.cancel;
        control.started = [&](std::size_t index, const std::string& name) { progress.StartItem(index, name); };
        control.bytes = [&](std::uint64_t done) { progress.Report(bytesDone + done, bytes); };
        control.ended = [&](std::size_t index) {
            bytesDone += entries[index].bytes;
            progress.itemsDone = index + 1;
            progress.Report(bytesDone, bytes);
        };
        result = DropOperation(catalog, home, into, entries, move, program, control);
    });
    m_window.AttachTree();
    // The whole drop is one step, whatever it added.
    m_window.History().Record(AddStep(UndoKind::kDrop, catalog, AddedSince(catalog, before)));

    // The catalog that received the files is shown open.
    if (CatalogNode* received = intoId != 0 ? catalog.NodeById(intoId) : nullptr) {
        m_window.ShowAndSelect(received);
        m_window.ExpandItem(m_window.ItemOf(received));
    }
    QString failures;
    for (const DropFailure& failure : result.failures) {
        failures += Line(failure.path, failure.reason);
    }
    QString message;
    if (!failures.isEmpty()) {
        message = UiText(text::kSomeFilesNotAdded) + failures;
    }
    if (result.cancelled) {
        message += (message.isEmpty() ? QString() : QStringLiteral("\n\n")) + UiText(text::kDropCancelled);
    }
    if (!message.isEmpty()) {
        MessagePrompt::Show(&m_window, message);
    }
}

} // namespace mwdx
