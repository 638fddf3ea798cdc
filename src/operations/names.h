#pragma once

// Which names may become catalogs and documents, where, and what of a typed name is kept.

#include "catalog/model.h"

#include <string>
#include <string_view>

namespace mwdx {

// `name` (UTF-8) without the white space around it: blanks, tabs, line ends and Unicode's other
// spaces (the ideographic space U+3000, the no-break space, ...). What is stored and what names
// the folder.
std::string TrimmedName(std::string_view name);

// The name a node ends up with when its dialog is confirmed with `typed`: `stored` when the user
// left it as shown (with or without white space around it), otherwise `typed` trimmed.
std::string EditedName(std::string_view typed, std::string_view stored);

// 0 when `name` (UTF-8), once trimmed, can name a catalog under `parent` (nullptr: no node yet),
// otherwise the message that refuses it: nothing left (text::kTypeCatalogName), not one plain folder name, a '/'
// included (text::kNameNotUsable), a sibling's name (text::kCatalogNameTaken). `self` is the catalog being renamed,
// which may keep its own name.
int CatalogNameRefusal(std::string_view name, const CatalogNode* parent, const CatalogNode* self);

// 0 when `name`, once trimmed, can name a document; text::kChooseDocument when nothing is left, text::kNameNotUsable
// when it holds a NUL. A document's name is only shown, so a '/' in it is fine.
int DocumentNameRefusal(std::string_view name);

// True for the names the index page and the trash keep at the top of the Home Directory, which a
// top-level catalog must not take over.
bool IsReservedTopLevelName(std::string_view name);

} // namespace mwdx
