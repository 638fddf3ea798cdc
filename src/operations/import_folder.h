#pragma once

// Importing an existing folder tree as catalogs and documents: taken in place when it already
// lies in the Home Directory, copied (or moved) in from anywhere else.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mwdx {

struct ImportControl {
    // Entries done of the total; called on the importing thread.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // Once true, the import stops after the entry under way and keeps what is done.
    const std::atomic<bool>* cancel = nullptr;
};

// An entry an import left where it was, and why (text::kSkippedNotUtf8, kSkippedNotPlain,
// kSkippedNameNotUsable, kSkippedProgramFile, kSkippedUnreadable).
struct SkippedEntry {
    std::string path;
    int reason = 0;
    bool operator==(const SkippedEntry&) const = default;
};

struct ImportResult {
    OpResult result;
    std::size_t catalogs = 0;
    std::size_t documents = 0;
    std::vector<SkippedEntry> skipped;
    bool cancelled = false;
};

// Imports the folder or file `source` with everything below it.
// - Refused with nothing changed: a Home Directory that is not usable (text::kHomeNotUsable), a source that is,
//   holds or lies in `program`'s files (text::kHoldsProgramFiles), whose name is not UTF-8 (text::kNameNotUtf8) or
//   cannot be a name here (text::kNameNotUsable), the index page's own names and js at the top level
//   (text::kNameNotUsable).
// - Inside the Home Directory, it is taken where it is, under the catalog whose folder holds it
//   (`parent` is not used then); what a node already owns is left as it is.
// - From anywhere else it goes under `parent` (nullptr or the Root Node: the top level), copied
//   into a hidden folder beside its final place, flushed, and published under its own name in one
//   step, then its rows written in one transaction; with `move`, the originals are removed after
//   that, each only once its copy is in place. A name already taken there refuses the whole
//   import (text::kNameTakenOnDisk).
// Entries below it that cannot be imported (names that are not UTF-8 or cannot be used here,
// links, the program's files) are skipped and listed with the reason, and stay where they are.
// Journalled, so that a crash leaves either nothing or everything that was copied with its rows.
ImportResult ImportOperation(CatalogModel& catalog, const std::string& home, CatalogNode* parent,
                             const std::string& source, bool move, const ProgramFiles& program = {},
                             const ImportControl& control = {});

// Rows for everything below the folder `path` (and the folder itself when `includeTop`), which
// lies in the folder of the node with id `parentId` at `level` - 1: inserted in the caller's
// transaction, in a walk that never follows links; entries with names that cannot be used, links
// and the program's temporary names are skipped. For crash recovery, which has no tree yet.
int InsertRowsForFolder(const std::string& path, bool includeTop, std::int64_t parentId, std::int32_t level);

// After a move in of `source` to `finalPath`: the originals whose copies are in place go (files
// of the same size; folders once empty). For crash recovery.
void RemoveMovedOriginals(const std::string& source, const std::string& finalPath);

// The journal's name for an import.
inline constexpr const char* kJournalImportKind = "import";

} // namespace mwdx
