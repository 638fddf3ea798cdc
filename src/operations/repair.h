#pragma once

// Mending what the health check finds. No repair deletes or overwrites a file: rows may go,
// files and folders only ever arrive. The repairs that touch the disk refuse a Home Directory
// that is not usable (text::kHomeNotUsable) before anything happens.

#include "catalog/loader.h"
#include "catalog/model.h"
#include "operations/add_document.h"
#include "operations/check.h"
#include "operations/op_result.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mwdx {

// The rows that could not be placed for a missing parent, a cycle or a path too long get the
// top-level catalog `recoveredName` as their parent (made, folder and row, when there is none);
// the rows below them follow, every level rewritten. Their files and folders stay where they are
// (the check then finds them missing, to be located). Rows with an id out of range or twice can
// only be removed. The tree is to be loaded again afterwards.
OpResult AttachUnplacedRows(CatalogModel& catalog, const std::string& home, const LoadReport& load,
                            const std::string& recoveredName);

// Removes the rows that could not be placed, in one transaction; nothing on disk changes.
OpResult RemoveUnplacedRows(const LoadReport& load);

// Writes each node's level in the tree into its row where the two disagree, in one transaction.
OpResult RewriteLevels(const LoadReport& load);

struct RepairControl {
    // Findings done of the total, on the calling thread.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // Once true, stops before the next finding; what is removed stays removed.
    const std::atomic<bool>* cancel = nullptr;
};

struct NodeRemoval {
    OpResult result;         // done; message: the first that a removal gave (text::kChangeNotSaved), 0 when none
    std::size_t removed = 0; // nodes removed (each with its subtree)
    bool cancelled = false;
};

// Removes the nodes of the kMissing findings from the tree and the store, one at a time, each with
// its subtree in a transaction of its own (DeleteNodeOperation, files not touched: they are
// missing). A finding whose node is gone (below one removed before) or whose path is no longer its
// node's is passed over. Other kinds of finding are not acted on. Runs on any thread; the
// catalog's observer hears of each removal on that thread, so a window that runs it on a worker
// lets go of the tree first.
NodeRemoval RemoveMissingNodes(CatalogModel& catalog, const std::string& home, const std::vector<Finding>& findings,
                               const ProgramFiles& program, const RepairControl& control = {});

// A document's missing file brought back from `source`, moved or copied as adding a document
// does (never replacing anything: text::kFileNameTaken when something is there after all; text::kTransferFailed when
// the transfer fails; text::kSourceBelongsToStore when a move would take a file the knowledge base or `program` needs);
// a catalog's missing folder made again (empty). Journalled.
OpResult LocateMissing(CatalogModel& catalog, const std::string& home, CatalogNode& node, const std::string& source,
                       bool move, const TransferStep& transfer = {}, const ProgramFiles& program = {});

// The files of the program's own script folder `scriptSource` that the Home Directory's js folder
// lacks, copied in, with the folders they need; whatever is there stays as it is. text::kNameTakenOnDisk when a file
// stands where a folder is needed; text::kTransferFailed when a copy fails (the files copied before stay).
OpResult RestoreScriptFiles(const std::string& home, const std::string& scriptSource);

inline constexpr const char* kJournalLocate = "locate";

} // namespace mwdx
