// Files and folders dropped onto the tree from the file manager: each file becomes a document of
// the catalog it was dropped on (a document stands for its catalog, empty space for the top
// level), named after its file, moved or copied as the options say; each folder is imported with
// everything in it. One window shows the batch; whatever could not be added is listed at the end.

#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "commands/drop_dlg.h"
#include "commands/transfer.h"
#include "operations/add_document.h"
#include "operations/import_folder.h"
#include "platform/home_fs.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <atomic>
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

Dropped Look(const QString& path) {
    Dropped entry;
    entry.path = ToStoreText(path.toStdU16String());
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

void CMarrowdexDlg::OnFilesDropped(const QStringList& paths, const QModelIndex& target) {
    if (paths.isEmpty() || ReloadIfChangedElsewhere()) {
        return;
    }
    CatalogNode* into = ItemNode(target);
    if (into != nullptr && !into->IsCatalog()) {
        into = into->Parent();
    }
    std::vector<Dropped> entries;
    std::uint64_t bytes = 0;
    for (const QString& path : paths) {
        entries.push_back(Look(path));
        bytes += entries.back().bytes;
    }
    const bool move = SettingsCopy().deleteAfterAdding == 1;
    const std::string home = HomeDirectory();

    CDropDlg progress(this);
    progress.Begin(entries.size(), bytes);
    QString failures;
    bool cancelled = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (progress.Cancelled()) {
            cancelled = true;
            break;
        }
        const Dropped& entry = entries[i];
        const std::string name = std::filesystem::path(entry.path).filename().string();
        progress.StartFile(i, QString::fromStdU16String(FromStoreText(name)));
        if (entry.folder) {
            // The import goes on here; the window is looked after between its entries.
            std::atomic<bool> stop{false};
            ImportControl control;
            control.cancel = &stop;
            control.progress = [&](std::size_t done, std::size_t total) {
                if (total > 0) {
                    progress.NotifyFileBytes(entry.bytes * done / total);
                }
                QCoreApplication::processEvents();
                stop = progress.Cancelled();
            };
            const ImportResult imported = ImportOperation(m_catalog, home, into, entry.path, move, OwnFiles(), control);
            if (!imported.result.done) {
                failures +=
                    Line(entry.path, imported.result.message != 0 ? imported.result.message : text::kFolderNotImported);
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
            request.program = OwnFiles();
            const TransferStep offThread = [&progress](const HomeTree& tree, const std::string& source,
                                                       const std::string& destination, bool moveIt,
                                                       std::string* error) {
                return RunTransferOffThread(
                    tree.Path(), source, destination, moveIt,
                    [&progress](std::uint64_t done, std::uint64_t) { progress.NotifyFileBytes(done); }, error);
            };
            const OpResult result = AddDocumentOperation(m_catalog, home, request, offThread);
            if (!result.done) {
                failures += Line(entry.path, result.message != 0 ? result.message : text::kTransferFailed);
            }
        }
        progress.FileDone(entry.bytes);
    }
    progress.hide();

    ExpandItem(ItemOf(into));
    QString message;
    if (!failures.isEmpty()) {
        message = UiText(text::kSomeFilesNotAdded) + failures;
    }
    if (cancelled) {
        message += (message.isEmpty() ? QString() : QStringLiteral("\n\n")) + UiText(text::kDropCancelled);
    }
    if (!message.isEmpty()) {
        MessagePrompt::Show(this, message);
    }
}

} // namespace mwdx
