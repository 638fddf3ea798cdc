#include "commands/drop_files.h"

#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "operations/add_document.h"
#include "operations/import_folder.h"
#include "platform/home_fs.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

#include <filesystem>
#include <sys/stat.h>

namespace mwdx {

namespace {

struct Dropped {
    std::string path;
    bool folder = false;
    std::uint64_t bytes = 0;
};

// The bytes of the regular files in and below `folder`, links not followed.
std::uint64_t FolderBytes(const std::string& folder) {
    namespace fs = std::filesystem;
    std::uint64_t bytes = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && !it->is_symlink(error)) {
            bytes += it->file_size(error);
        }
    }
    return bytes;
}

Dropped Look(const std::string& path) {
    Dropped entry;
    entry.path = path;
    struct stat st {};
    if (::lstat(entry.path.c_str(), &st) == 0) {
        entry.folder = S_ISDIR(st.st_mode);
        entry.bytes = entry.folder ? FolderBytes(entry.path) : static_cast<std::uint64_t>(st.st_size);
    }
    return entry;
}

QString Line(const std::string& path, int message) {
    return QStringLiteral("\n%1: %2").arg(QString::fromStdU16String(FromStoreText(path)), UiText(message));
}

} // namespace

void DropFilesCommand::OnFilesDropped(const std::vector<std::string>& paths, CatalogNode* target) {
    if (paths.empty() || m_window.ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* into = target;
    if (into != nullptr && !into->IsCatalog()) {
        into = into->Parent();
    }
    const NodeId intoId = into != nullptr ? into->FileId() : 0;
    const bool move = SettingsCopy().deleteAfterAdding == 1;
    const std::string home = m_window.HomeDirectory();
    const ProgramFiles program = m_window.OwnFiles();
    CatalogModel& catalog = m_window.Catalog();

    QString failures;
    bool cancelled = false;
    // The batch changes the catalog on the worker's thread; the view lets go of it meanwhile.
    m_window.DetachTree();
    RunBehindProgress(&m_window, ProgressLook{ProgressLook::Kind::kBatch}, [&](WorkProgress& progress) {
        std::vector<Dropped> entries;
        std::uint64_t bytes = 0;
        for (const std::string& path : paths) {
            entries.push_back(Look(path));
            bytes += entries.back().bytes;
        }
        progress.items = entries.size();
        progress.Report(0, bytes);
        std::uint64_t bytesDone = 0; // of the entries ended
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (progress.cancel.load()) {
                cancelled = true;
                break;
            }
            const Dropped& entry = entries[i];
            const std::string name = std::filesystem::path(entry.path).filename().string();
            progress.StartItem(i, name);
            if (entry.folder) {
                // Cancel stops the import after the file under way inside it.
                ImportControl control;
                control.cancel = &progress.cancel;
                control.progress = [&](std::size_t done, std::size_t total) {
                    if (total > 0) {
                        progress.Report(bytesDone + entry.bytes * done / total, bytes);
                    }
                };
                const ImportResult imported = ImportOperation(catalog, home, into, entry.path, move, program, control);
                if (!imported.result.done) {
                    failures += Line(entry.path,
                                     imported.result.message != 0 ? imported.result.message : text::kFolderNotImported);
                }
                for (const SkippedEntry& skipped : imported.skipped) {
                    failures += Line(skipped.path, skipped.reason);
                }
                cancelled = cancelled || imported.cancelled;
            } else {
                NewDocument request;
                request.parent = into;
                request.source = entry.path;
                request.name = name;
                request.move = move;
                request.program = program;
                // The file's bytes move here, on the batch's own thread.
                const TransferStep transfer = [&](const HomeTree& tree, const std::string& source,
                                                  const std::string& destination, bool moveIt, std::string* error) {
                    TransferControl control;
                    control.progress = [&](std::uint64_t done, std::uint64_t) {
                        progress.Report(bytesDone + done, bytes);
                    };
                    return moveIt ? tree.MoveFileNoReplace(source, destination, error, control)
                                  : tree.CopyFileNoReplace(source, destination, error, control);
                };
                const OpResult result = AddDocumentOperation(catalog, home, request, transfer);
                if (!result.done) {
                    failures += Line(entry.path, result.message != 0 ? result.message : text::kTransferFailed);
                }
            }
            bytesDone += entry.bytes;
            progress.itemsDone = i + 1;
            progress.Report(bytesDone, bytes);
        }
    });
    m_window.AttachTree();

    // The catalog that received the files is shown open.
    if (CatalogNode* received = intoId != 0 ? catalog.NodeById(intoId) : nullptr) {
        m_window.ShowAndSelect(received);
        m_window.ExpandItem(m_window.ItemOf(received));
    }
    QString message;
    if (!failures.isEmpty()) {
        message = UiText(text::kSomeFilesNotAdded) + failures;
    }
    if (cancelled) {
        message += (message.isEmpty() ? QString() : QStringLiteral("\n\n")) + UiText(text::kDropCancelled);
    }
    if (!message.isEmpty()) {
        MessagePrompt::Show(&m_window, message);
    }
}

} // namespace mwdx
