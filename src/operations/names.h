#pragma once

// Which names may become catalogs, where.

#include "catalog/model.h"

#include <string_view>

namespace mwdx {

// 0 when `name` (UTF-8) can name a catalog under `parent` (nullptr: no node yet), otherwise the
// message that refuses it. `self` is the catalog being renamed, which may keep its own name.
int CatalogNameRefusal(std::string_view name, const CatalogNode* parent, const CatalogNode* self);

// True for the names the index page keeps at the top of the Home Directory, which a top-level
// catalog must not take over.
bool IsReservedTopLevelName(std::string_view name);

} // namespace mwdx
