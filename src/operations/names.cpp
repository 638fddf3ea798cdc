#include "operations/names.h"

#include "catalog/disk_rules.h"
#include "platform/text_ids.h"

namespace mwdx {

int CatalogNameRefusal(std::string_view name, const CatalogNode* parent, const CatalogNode* self) {
    // A longer name would be kept cut in memory and name another directory than the stored one.
    if (!IsSafeCatalogName(name) || name.size() > kMaxFileNameBytes) {
        return text::kNameNotUsable;
    }
    // No parent node yet, or the Root Node: a top-level catalog.
    if ((parent == nullptr || parent->Parent() == nullptr) && IsReservedTopLevelName(name)) {
        return text::kNameNotUsable;
    }
    if (parent != nullptr && SiblingCatalogNamed(*parent, name, self) != nullptr) {
        return text::kCatalogNameTaken;
    }
    return 0;
}

bool IsReservedTopLevelName(std::string_view name) {
    return name == "js" || name == "mwdx_index.html" || name == "mwdx_index.html_bak";
}

} // namespace mwdx
