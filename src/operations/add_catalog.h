#pragma once

// Adding a catalog: its folder under the Home Directory and its row, both or neither.

#include "catalog/model.h"
#include "operations/op_result.h"

#include <string>
#include <string_view>

namespace mwdx {

struct NewCatalog {
    CatalogNode* parent = nullptr; // nullptr or the Root Node: the top level
    std::string name;              // UTF-8, as typed: trimmed, it is stored and names the folder
    std::string comment;
};

// Checks the name (text::kTypeCatalogName, text::kNameNotUsable, text::kCatalogNameTaken; the index page's own names at
// the top level: text::kNameNotUsable), refuses a folder that cannot become the catalog's (a file there, or a folder
// with something in it, or one that another node uses: text::kNameTakenOnDisk) and anything outside `home`
// (text::kAddFailed). Then records the command in the journal, makes the folder, and writes the row and the node in one
// transaction with the journal's end. Any failure leaves no new folder and no row (text::kAddFailed). On success *added
// (if given) is the new node, the last child of its parent.
OpResult AddCatalogOperation(CatalogModel& catalog, const std::string& home, const NewCatalog& request,
                             CatalogNode** added = nullptr);

// The path of a new catalog under a parent folder: the separator is added only when missing.
std::string NewCatalogPath(std::string_view parentPath, std::string_view name);

} // namespace mwdx
