#pragma once

// Adding and removing nodes in the store and the in-memory tree together.

#include "catalog/model.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mwdx {

// The largest FILE_ID in FILE_NODE (kSelectMaxFileId): 0 for an empty table, -1 when the query fails.
NodeId GetMaxFileId();

// Inserts a row (InsertNodeStatement), takes the largest FILE_ID as its id and appends a node with that id
// as the last child of `parentNode` (of the Root Node when parentId is 0, creating it with the
// Settings' Home Directory when there is none yet). `path` is stored as given. The insert, the
// id query and the new node stand or fall together: on any failure (no connection, a failed
// statement, no parent node for a non-zero parentId, no memory) the row is rolled back, no node
// is added and nullptr is returned.
CatalogNode* InsertNode(CatalogModel& model, std::string_view name, std::string_view comment, std::int32_t fileType,
                        NodeId parentId, std::string_view rawFileName, std::int32_t pathLevel, CatalogNode* parentNode,
                        std::string path);

// Deletes the rows of `node` and of every node below it in one transaction: all of them, or
// (false) none.
bool DeleteSubtreeRows(const CatalogNode& node);

// Removes `node` with its whole subtree: first the rows (DeleteNodeStatement for the node, then for each node
// below it, depth first in list order) in one transaction, then, once they are committed, the
// nodes from the tree. Returns false when no node is given or the rows could not be deleted (then
// nothing changes, in the store or in memory); true when removed, and also when `node` is not a
// child of `parent` (then nothing changes).
bool RemoveNode(CatalogModel& model, CatalogNode& parent, CatalogNode* node);

} // namespace mwdx
