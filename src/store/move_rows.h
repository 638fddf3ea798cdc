#pragma once

// The rows of a move: the node's new PARENT_ID, and the PATH_LEVEL of the node and every row
// below it shifted by the same amount, each in one statement.

#include <cstdint>

namespace mwdx {

// kStatementOk or the failing statement's code. Run it inside the caller's transaction.
int MoveRows(std::int64_t nodeId, std::int64_t newParentId, std::int32_t levelShift);

} // namespace mwdx
