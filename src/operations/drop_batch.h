#pragma once

// Files and folders dropped onto the tree: each file becomes a document of the catalog it was
// dropped on, named after its file, moved or copied as the options say; each folder is imported
// with everything in it. One after the other, in the order dropped, on whatever thread the caller
// runs the batch: nothing here waits for or calls into a window.

#include "catalog/model.h"
#include "operations/add_document.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mwdx {

struct DroppedEntry {
    std::string path;
    bool folder = false;
    // A file's size; for a folder, the sizes of the regular files in and below it (links not
    // followed). Nothing there: 0.
    std::uint64_t bytes = 0;
};

// Each dropped path looked at (lstat, never through a link), in the order given.
std::vector<DroppedEntry> LookAtDropped(const std::vector<std::string>& paths);

// The bytes of the whole batch.
std::uint64_t DroppedBytes(const std::vector<DroppedEntry>& entries);

// The catalog a drop onto `target` goes into: a catalog itself, a document its catalog, nothing
// (the empty space below the rows) the top level (nullptr).
CatalogNode* DropTarget(CatalogNode* target);

struct DropControl {
    // The entry at `index` (from 0) is under way; `name` is its file or folder name.
    std::function<void(std::size_t index, const std::string& name)> started;
    // Bytes done of the entry under way.
    std::function<void(std::uint64_t done)> bytes;
    // The entry at `index` has ended; its bytes count as done.
    std::function<void(std::size_t index)> ended;
    // Once true, the batch stops after the file under way: between two entries, or inside a
    // folder's import after its entry under way (what is imported stays).
    const std::atomic<bool>* cancel = nullptr;
    // How a file is brought in; empty: HomeTree's own transfer, its bytes told to `bytes`.
    TransferStep transfer;
};

// An entry that was not added, or an entry below a dropped folder that was left where it was.
struct DropFailure {
    std::string path;
    int reason = 0; // the string id that says why
    bool operator==(const DropFailure&) const = default;
};

struct DropResult {
    std::size_t added = 0;             // dropped entries that took effect
    std::vector<DropFailure> failures; // in the order met
    bool cancelled = false;
};

// Adds `entries` under `into` (nullptr or the Root Node: the top level), moving (`move`) or
// copying. A file goes through AddDocumentOperation with its file name as its name: refused with
// that operation's message, or text::kTransferFailed when it gives none. A folder goes through
// ImportOperation: refused with its message, or text::kFolderNotImported; the entries it skipped
// are listed after it with their reasons. A failure never stops the batch; only `cancel` does.
// Runs on any thread; the catalog's observer hears of each addition on that thread, so a window
// that runs it on a worker lets go of the tree first.
DropResult DropOperation(CatalogModel& catalog, const std::string& home, CatalogNode* into,
                         const std::vector<DroppedEntry>& entries, bool move, const ProgramFiles& program,
                         const DropControl& control = {});

} // namespace mwdx
