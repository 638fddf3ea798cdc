#pragma once

// The trash's rows: what a delete took out of FILE_NODE, kept whole in tables of their own
// (MWDX_TRASH, one entry per delete; MWDX_TRASH_NODE, the rows it took, parents before children),
// so that a restore can write them back as they were. The tables are made on first use; a store
// without them has an empty trash, and reading never writes.

#include "catalog/node.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mwdx {

// One delete in the trash.
struct TrashEntry {
    std::int64_t id = 0; // TRASH_ID: never given again, so it names the entry's folder for good
    NodeId nodeId = 0;   // the deleted node's FILE_ID
    NodeId parentId = 0; // the catalog it was deleted from (0: the top level)
    std::string name;    // its display name, as stored
    std::int32_t fileType = kCatalogType;
    std::string place;          // its path below the Home Directory when it was deleted ("Physics/Optics")
    std::string onDisk;         // its name on disk in its catalog's folder (a catalog's name, a document's file name)
    std::int64_t deletedAt = 0; // seconds since 1970, UTC
    bool files = false;         // its files were moved into the trash folder with it
    std::int64_t nodes = 0;     // the rows it took: the node and everything below it

    // The name its file or folder has in the trash: the last part of `place`.
    std::string NameOnDisk() const { return place.substr(place.rfind('/') + 1); }
};

// A row written back by a restore, as it now stands in FILE_NODE, parents before children.
struct RestoredRow {
    NodeId fileId = 0;
    NodeId parentId = 0;
    std::string fileName;
    std::string comment;
    std::string rawFileName;
    std::int32_t fileType = kCatalogType;
    std::int32_t pathLevel = 0;
};

// Moves the rows of `node` and of every node below it (as the tree holds them, parents first) from
// FILE_NODE into a new trash entry made from `entry` (its id and node count are set here), in the
// caller's transaction. kStatementOk, or the failing statement's code (roll back then).
int MoveRowsToTrash(const CatalogNode& node, TrashEntry& entry);

// Every entry, oldest first; none for a store without the trash's tables. *status (if given):
// kStatementOk or the failure's code.
std::vector<TrashEntry> ReadTrash(int* status = nullptr);

// The entry with this id; nothing when there is none (or no trash at all).
std::optional<TrashEntry> ReadTrashEntry(std::int64_t id);

// Writes the rows of entry `id` back into FILE_NODE, its top row under `parentId` at `level` and the
// levels below shifted alike, and removes the entry: in the caller's transaction. The rows keep
// their FILE_IDs when none of them is taken meanwhile (a store whose ids are given again); otherwise
// every row gets a new one, the parents following. *rows (if given) receives them as written.
// kStatementOk, or the failing statement's code (roll back then).
int PutRowsBack(std::int64_t id, NodeId parentId, std::int32_t level, std::vector<RestoredRow>* rows = nullptr);

// Removes the entry `id` and its rows, in the caller's transaction (or one of its own).
int ForgetTrashEntry(std::int64_t id);

// Removes every entry and row, in the caller's transaction (or one of its own).
int ForgetWholeTrash();

// Records that the files of entry `id` are not in the trash (they were never moved there).
int MarkTrashEntryWithoutFiles(std::int64_t id);

} // namespace mwdx
