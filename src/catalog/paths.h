#pragma once

// Where a node lives on disk: its parent's path, '/', and its name on disk (a catalog's name,
// a document's raw file name). The Root Node's path is the Home Directory.

#include "catalog/node.h"

#include <string>
#include <string_view>

namespace mwdx {

// parentPath + '/' + name, always with the separator (as loading joins paths).
std::string JoinNodePath(std::string_view parentPath, std::string_view name);

// A copy of the node's stored path.
std::string NodePath(const CatalogNode& node);

// After a node's directory or file took `newName`: the node's path becomes its parent's path,
// '/', newName, and every node below it is recomputed from its own parent, parents first.
// Returns 1; 0 (and nothing changes) for a node without a parent.
int RebuildPaths(CatalogNode& node, std::string_view newName);

// The Root Node's path becomes `homeDirectory`, and every path below it follows, parents first.
void RehomePaths(CatalogNode& root, std::string homeDirectory);

} // namespace mwdx
