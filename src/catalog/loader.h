#pragma once

// Loading the whole catalog at start-up: the rows of FILE_NODE in PARENT_ID order, each attached
// under its parent as it is read, so no more than one row is ever held outside the tree.

#include "catalog/model.h"

#include <cstdint>
#include <string_view>

namespace mwdx {

// Runs the count query (S2). 1 and *count set on success; 0 and *count untouched on failure.
int CountNodes(int* count);

// Reads at most `count` rows with S3 and attaches each with AttachLoadedRow, stopping at the
// first row that cannot be placed (an orphan or a level that does not fit its parent); the rows
// before it stay. If the query fails at any point, the model is left as it was, as if it had
// failed before the first row. 1 when every row was placed, 0 otherwise. Expects an empty model
// (the start-up state): on success it holds exactly the loaded tree.
int LoadAllNodes(CatalogModel& model, int count);

// Places one loaded row: a top-level row (PARENT_ID 0) under the Root Node, created with the
// Settings' Home Directory when absent; any other under FindNode(root, PARENT_ID, PATH_LEVEL - 1),
// with its path joined onto its parent's. Texts are made valid UTF-8 (invalid bytes become
// U+FFFD) and cut to the Node Details limits. 1 when placed (or skipped for want of memory);
// 0 when loading must stop.
int AttachLoadedRow(CatalogModel& model, std::string_view fileName, std::int32_t parentId, std::int32_t fileId,
                    std::int32_t fileType, std::string_view comment, std::string_view rawFileName,
                    std::int32_t pathLevel);

// The start-up load: CountNodes, then LoadAllNodes. Results as LoadAllNodes (0 if counting fails).
int LoadCatalog(CatalogModel& model);

} // namespace mwdx
