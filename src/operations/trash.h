#pragma once

// The knowledge base's own trash: deleted catalogs and documents with their rows (store/trash_rows.h)
// and their files, kept in a folder inside the Home Directory so that the trash travels with the
// knowledge base. Each delete is one entry, its files in the entry's folder under their own name:
// Home/.marrowdex-trash/<entry id>/<name>. Files only ever reach the trash by a rename within
// one file system; restoring never replaces anything. Every command here is journalled, so that a
// crash at any moment is finished or undone at the next start.

#include "catalog/model.h"
#include "operations/delete_node.h"
#include "operations/op_result.h"
#include "operations/program_files.h"
#include "store/trash_rows.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mwdx {

// The trash's folder at the top of the Home Directory; no catalog or document may take the name.
inline constexpr const char* kTrashFolderName = ".marrowdex-trash";

// Where the trash, an entry's folder and an entry's file or folder lie below `home`.
std::string TrashFolderOf(const std::string& home);
std::string TrashEntryFolder(const std::string& home, std::int64_t id);
std::string TrashItemPath(const std::string& home, const TrashEntry& entry);

// Deletes `node` with everything below it into the trash: its rows go into a trash entry in one
// transaction (text::kChangeNotSaved and nothing changes when they cannot), then its nodes. With
// `withFiles`, its file or folder goes too, renamed into the entry's folder, the rename journalled
// with the rows. Refused with nothing changed: the Root Node (text::kSelectToDelete), a trash that
// is not a folder (text::kTrashNotAFolder), files on another file system than the trash
// (text::kTrashOtherFileSystem: the caller may offer DeleteNodeOperation instead), files that
// cannot be renamed (text::kCannotMoveToTrash). The files stay where they are, and the rows still go
// into the trash, when another node uses them (done, text::kFilesKept), when they are or hold
// `program`'s files (done, text::kFilesKeptForProgram), when they lie outside `home` (done,
// text::kSomeFilesNotDeleted); without `withFiles`, the disk is not touched at all. On success
// *entryId (if given) is the new entry's id.
OpResult DeleteToTrashOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node, bool withFiles,
                                const ProgramFiles& program = {}, std::int64_t* entryId = nullptr);

// Deletes every node of TopNodes(`nodes`) into the trash as DeleteToTrashOperation deletes one,
// each node its own entry and its own journalled step, so that each can be restored by itself and a
// crash leaves every node either deleted or where it was. The Root Node is refused
// (text::kSelectToDelete); a node whose delete is refused (its files on another file system, a
// rename that fails, ...) stays, listed in `refused` with its reason; the others go on. `acted`
// counts the nodes deleted; `result` is refused only when none could be, and otherwise carries the
// first message a delete had for the user (files kept, ...). `progress` hears of each node deleted;
// *entryIds (if given) receives the new entries' ids, in the order made.
ManyNodesResult
DeleteNodesToTrashOperation(CatalogModel& catalog, const std::string& home, const std::vector<CatalogNode*>& nodes,
                            bool withFiles, const ProgramFiles& program = {},
                            const std::function<void(std::size_t done, std::size_t total)>& progress = {},
                            std::vector<std::int64_t>* entryIds = nullptr);

// Brings the trash entry `id` back: its rows (with their ids, unless some were given again since)
// and its nodes under `into`, or under the catalog it was deleted from when `into` is nullptr (the
// Root Node: the top level), and its file or folder back to its place there. Refused with nothing
// changed: no such entry (text::kTrashEntryGone); `into` nullptr while the old catalog is gone
// (text::kChooseRestoreCatalog: the caller asks for one and calls again); `into` not a catalog
// (text::kNoCatalogUnderDocument); a sibling with its name (text::kCatalogNameTaken,
// text::kFileNameTaken), the index page's names at the top level (text::kNameNotUsable), a place
// on disk that is taken (text::kRestorePlaceTaken, the detail then being that place exactly) or
// outside `home` (text::kRestoreFailed), its files gone from the trash (text::kTrashFilesMissing),
// a rename that fails (text::kRestoreFailed), rows that cannot be written (text::kChangeNotSaved,
// the files renamed back). An entry deleted without its files brings only its rows back. On success
// *restored (if given) is the node brought back.
OpResult RestoreFromTrashOperation(CatalogModel& catalog, const std::string& home, std::int64_t id,
                                   CatalogNode* into = nullptr, CatalogNode** restored = nullptr);

// Deletes the trash entry `id` for good: its folder put aside in one step (text::kSomeFilesNotDeleted
// and nothing changes when it cannot be), the entry's rows removed with the journal's word
// (text::kChangeNotSaved and the folder comes back when they cannot be), then the folder removed
// for good by `removal` (on any thread; empty: at once). What `removal` leaves stays aside, and the
// journal keeps it for the next start to remove (done, text::kSomeFilesNotDeleted). No such entry:
// refused, text::kTrashEntryGone.
OpResult DeleteFromTrashOperation(const std::string& home, std::int64_t id, const FileRemovalStep& removal = {});

// Deletes everything in the trash for good, as DeleteFromTrashOperation does for one entry: the
// whole trash folder put aside in one step, every entry's rows removed, the folder removed. A trash
// that is not a folder is left as it is (its entries' rows go; done, text::kTrashNotAFolder).
OpResult EmptyTrashOperation(const std::string& home, const FileRemovalStep& removal = {});

// What the trash folder holds: the bytes of its files and how many files and folders there are
// (links counted, never followed). Zero for no trash; it only reads.
struct TrashSize {
    std::uint64_t bytes = 0;
    std::size_t entries = 0;
};
TrashSize MeasureTrash(const std::string& home);

} // namespace mwdx
