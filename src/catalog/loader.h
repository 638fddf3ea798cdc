#pragma once

// Loading the whole catalog at start-up. Every row whose parent can be placed is placed, in one
// pass over the rows: a row that arrives before its parent (a node moved under a newer catalog)
// waits until the parent is there. Rows that can never be placed are counted and described, never
// deleted; loading writes nothing to the store.

#include "catalog/model.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mwdx {

// Linux takes no path of this many bytes or more (PATH_MAX counts the terminator).
inline constexpr std::size_t kMaxPathBytes = 4096;

enum class UnplacedReason {
    kMissingParent,   // no row has its PARENT_ID
    kCycle,           // its parents lead back to itself
    kIdOutOfRange,    // FILE_ID 0 (the Root Node's) or below
    kPathTooLong,     // its path would reach kMaxPathBytes
    kDuplicateId,     // another row with its FILE_ID is placed already
    kParentNotPlaced, // an ancestor could not be placed for one of the reasons above
};

struct UnplacedRow {
    NodeId fileId = 0;
    NodeId parentId = 0;
    std::int32_t fileType = 0;
    std::string fileName; // valid UTF-8
    UnplacedReason reason = UnplacedReason::kMissingParent;
};

// A node whose stored PATH_LEVEL disagreed with its depth; the tree holds the depth.
struct CorrectedLevel {
    NodeId fileId = 0;
    std::int32_t storedLevel = 0;
    std::int32_t level = 0;
};

// What a load found besides the tree.
struct LoadReport {
    std::size_t rowsRead = 0;
    std::vector<UnplacedRow> unplaced;
    std::vector<CorrectedLevel> correctedLevels;
};

// Runs the count query (kCountNodes). 1 and *count set on success; 0 and *count untouched on failure.
int CountNodes(int* count);

// Reads at most `count` rows with kSelectNodes and places every row it can (see above), each under its
// parent's node at its parent's depth + 1, children in FILE_ID order (the order the query gives
// them where FILE_ID is the row id, as in every store the program makes). If the
// query fails at any point, the model is left as it was. 1 when the query succeeded and every
// row was placed, 0 otherwise; `report` (if given) says what could not be placed. Expects an
// empty model (the start-up state): on success it holds exactly the loaded tree.
int LoadAllNodes(CatalogModel& model, int count, LoadReport* report = nullptr);

// Places one row into a model being built: a top-level row (PARENT_ID 0) under the Root Node,
// created with the Settings' Home Directory when absent; any other under the node with id
// PARENT_ID, at its depth + 1, with its path joined onto its parent's. Texts are made valid UTF-8
// (invalid bytes become U+FFFD) and kept whole. 1 when placed (or skipped for
// want of memory); 0 when it cannot be placed now (no such parent, an id out of range, a path too
// long).
int AttachLoadedRow(CatalogModel& model, std::string_view fileName, NodeId parentId, NodeId fileId,
                    std::int32_t fileType, std::string_view comment, std::string_view rawFileName,
                    std::int32_t pathLevel);

// The start-up load: CountNodes, then LoadAllNodes. Results as LoadAllNodes (0 if counting fails).
int LoadCatalog(CatalogModel& model, LoadReport* report = nullptr);

} // namespace mwdx
