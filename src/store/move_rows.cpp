#include "store/move_rows.h"

#include "store/connection.h"


namespace mwdx {
namespace {

int Run(const char* sql, std::int64_t first, std::int64_t second) {
    Statement update(sql);
    return update.Bind(1, first).Bind(2, second).Run();
}

} // namespace

int MoveRows(std::int64_t nodeId, std::int64_t newParentId, std::int32_t levelShift) {
    const StoreLock lock;
    if (StoreHandle() == nullptr) {
        return kNoConnection;
    }
    int rc = Run("UPDATE FILE_NODE SET PARENT_ID = ?2 WHERE FILE_ID = ?1;", nodeId, newParentId);
    if (rc != kStatementOk || levelShift == 0) {
        return rc;
    }
    // The subtree found through the PARENT_ID index; UNION, not UNION ALL, so that a damaged
    // store's cycle ends the walk instead of looping.
    return Run("WITH RECURSIVE below(id) AS (VALUES(?1) UNION SELECT FILE_ID FROM FILE_NODE, below "
               "WHERE PARENT_ID = below.id) "
               "UPDATE FILE_NODE SET PATH_LEVEL = PATH_LEVEL + ?2 WHERE FILE_ID IN below;",
               nodeId, levelShift);
}

} // namespace mwdx
