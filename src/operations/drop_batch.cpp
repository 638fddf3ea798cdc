#include "operations/drop_batch.h"

#include "operations/import_folder.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"

#include <filesystem>
#include <sys/stat.h>

namespace mwdx {
namespace {

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

} // namespace

std::vector<DroppedEntry> LookAtDropped(const std::vector<std::string>& paths) {
    std::vector<DroppedEntry> entries;
    entries.reserve(paths.size());
    for (const std::string& path : paths) {
        DroppedEntry entry;
        entry.path = path;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            entry.folder = S_ISDIR(st.st_mode);
            entry.bytes = entry.folder ? FolderBytes(path) : static_cast<std::uint64_t>(st.st_size);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::uint64_t DroppedBytes(const std::vector<DroppedEntry>& entries) {
    std::uint64_t bytes = 0;
    for (const DroppedEntry& entry : entries) {
        bytes += entry.bytes;
    }
    return bytes;
}

CatalogNode* DropTarget(CatalogNode* target) {
    if (target != nullptr && !target->IsCatalog()) {
        target = target->Parent();
    }
    return target;
}

DropResult DropOperation(CatalogModel& catalog, const std::string& home, CatalogNode* into,
                         const std::vector<DroppedEntry>& entries, bool move, const ProgramFiles& program,
                         const DropControl& control) {
    const auto cancelled = [&control] { return control.cancel != nullptr && control.cancel->load(); };
    const auto toldBytes = [&control](std::uint64_t done) {
        if (control.bytes) {
            control.bytes(done);
        }
    };
    DropResult batch;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (cancelled()) {
            batch.cancelled = true;
            break;
        }
        const DroppedEntry& entry = entries[i];
        const std::string name = std::filesystem::path(entry.path).filename().string();
        if (control.started) {
            control.started(i, name);
        }
        if (entry.folder) {
            ImportControl import;
            import.cancel = control.cancel;
            import.progress = [&](std::size_t done, std::size_t total) {
                if (total > 0) {
                    toldBytes(entry.bytes * done / total);
        }
    };
    const ImportResult imported = ImportOperation(catalog, home, into, entry.path, move, program, import);
    if (imported.result.done) {
        ++batch.added;
    } else {
        batch.failures.push_back(
            {entry.path, imported.result.message != 0 ? imported.result.message : text::kFolderNotImported});
    }
    for (const SkippedEntry& skipped : imported.skipped) {
        batch.failures.push_back({skipped.path, skipped.reason});
    }
    batch.cancelled = batch.cancelled || imported.cancelled;
}
else {
    NewDocument request;
    request.parent = into;
    request.source = entry.path;
    request.name = name;
    request.move = move;
    request.program = program;
    TransferStep transfer = control.transfer;
    if (!transfer) {
        transfer = [&toldBytes](const HomeTree& tree, const std::string& source, const std::string& destination,
                                bool moveIt, std::string* error) {
            TransferControl bytes;
            bytes.progress = [&toldBytes](std::uint64_t done, std::uint64_t) { toldBytes(done); };
            return moveIt ? tree.MoveFileNoReplace(source, destination, error, bytes)
                          : tree.CopyFileNoReplace(source, destination, error, bytes);
        };
    }
    const OpResult result = AddDocumentOperation(catalog, home, request, transfer);
    if (result.done) {
        ++batch.added;
    } else {
        batch.failures.push_back({entry.path, result.message != 0 ? result.message : text::kTransferFailed});
    }
}
if (control.ended) {
    control.ended(i);
}
} // namespace mwdx
return batch;
}

} // namespace mwdx
