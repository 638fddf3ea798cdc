#pragma once

// What the commands may do on disk: which names can become directories and files, and which
// paths lie inside the Home Directory. Nothing outside it, and never the Home Directory
// itself, is created, renamed or deleted, whatever a database says.

#include "catalog/model.h"
#include "platform/home_fs.h" // LexicallyNormal, IsAtOrBelow

#include <string>
#include <string_view>

namespace mwdx {

// True for a name that makes a safe relative path: not empty, no empty, "." or ".." part, no
// leading '/', no control character (NUL included), no part over 255 bytes, nothing that is not
// UTF-8. A '/' inside makes nested directories.
bool IsSafeCatalogName(std::string_view name);

// True for a name that is one safe part: as above, without any '/'.
bool IsSafeFileName(std::string_view name);

// True when `path` lies strictly below the absolute directory `home`, compared after lexical
// normalisation, and no symbolic link on the way leads out of it (the existing part of the
// path's parent directory must resolve inside the resolved Home Directory).
bool IsInsideHome(std::string_view home, std::string_view path);

// The path with every link followed in its longest existing leading part and the missing rest
// appended (lexically normal); empty when the path is not absolute or cannot be resolved.
std::string RealPathOfExistingPart(std::string_view path);

// The catalog among `parent`'s children, other than `except`, whose name is `name`; nullptr
// when there is none.
const CatalogNode* SiblingCatalogNamed(const CatalogNode& parent, std::string_view name,
                                       const CatalogNode* except = nullptr);

// True when a node outside `removed`'s subtree has a path at or below `path` (lexically), so
// that deleting what is at `path` would take that node's files too. `root` is the Root Node.
bool OtherNodeLivesAt(const CatalogNode& root, const CatalogNode& removed, std::string_view path);

// The same over a whole catalog, `removed` may be nullptr (then any node counts). When every
// name on disk in the catalog is one plain name, paths meet only where their names do, so only
// the nodes along `path` are looked at; otherwise every path is compared as above.
bool OtherNodeLivesAt(const CatalogModel& catalog, const CatalogNode* removed, std::string_view path);

} // namespace mwdx
