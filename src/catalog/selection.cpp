#include "catalog/selection.h"

#include <unordered_set>

namespace mwdx {

std::vector<CatalogNode*> TopNodes(const std::vector<CatalogNode*>& chosen) {
    const std::unordered_set<const CatalogNode*> all(chosen.begin(), chosen.end());
    std::unordered_set<const CatalogNode*> taken;
    std::vector<CatalogNode*> top;
    for (CatalogNode* node : chosen) {
        if (node == nullptr || taken.count(node) != 0) {
            continue;
        }
        bool below = false;
        for (const CatalogNode* above = node->Parent(); above != nullptr && !below; above = above->Parent()) {
            below = all.count(above) != 0;
        }
        if (!below) {
            taken.insert(node);
            top.push_back(node);
        }
    }
    return top;
}

} // namespace mwdx
