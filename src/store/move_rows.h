#pragma once

// The rows of a move: the node's new PARENT_ID, and the PATH_LEVEL of the node and every row
// below it shifted by the same amount, each in one statement.

#include <cstdint>
#include <vector>

namespace mwdx {

// kStatementOk or the failing statement's code. Run it inside the caller's transaction.
int MoveRows(std::int64_t nodeId, std::int64_t newParentId, std::int32_t levelShift);

// One node of a move of many under the same new parent, and how far its subtree's PATH_LEVEL shifts.
struct RowMove {
    std::int64_t nodeId = 0;
    std::int32_t levelShift = 0;
};

// The rows of many nodes moved under `newParentId`: for the nodes that share a shift, one statement
// for their PARENT_ID and PATH_LEVEL and one for the levels below them, so that a thousand nodes cost
// about what one does.
// The subtrees must not overlap. kStatementOk or the failing statement's code; run it inside the
// caller's transaction.
int MoveRowsOfMany(const std::vector<RowMove>& moves, std::int64_t newParentId);

} // namespace mwdx
