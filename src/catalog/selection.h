#pragma once

// Several nodes chosen at once, as a command acts on them.

#include "catalog/node.h"

#include <vector>

namespace mwdx {

// The nodes of `chosen` that no other chosen node lies above, each once, in the order given: a node
// below a chosen catalog goes with it and is not acted on twice. nullptr entries are passed over.
std::vector<CatalogNode*> TopNodes(const std::vector<CatalogNode*>& chosen);

} // namespace mwdx
