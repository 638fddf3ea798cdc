#include "store/move_rows.h"

#include "store/connection.h"

#include <map>
#include <string>

namespace mwdx {
namespace {

int Run(const char* sql, std::int64_t first, std::int64_t second) {
    Statement update(sql);
    return update.Bind(1, first).Bind(2, second).Run();
}

// "1,2,3": ids are integers, so the list goes into the statement as it is.
std::string IdList(const std::vector<std::int64_t>& ids) {
    std::string list;
    list.reserve(ids.size() * 8);
    for (const std::int64_t id : ids) {
        if (!list.empty()) {
            list += ',';
        }
        list += std::to_string(id);
    }
    return list;
}

} // namespace

int MoveRowsOfMany(const std::vector<RowMove>& moves, std::int64_t newParentId) {
    if (moves.empty()) {
        return kStatementOk;
    }
    const StoreLock lock;
    if (StoreHandle() == nullptr) {
        return kNoConnection;
    }
    std::map<std::int32_t, std::vector<std::int64_t>> byShift;
    for (const RowMove& move : moves) {
        byShift[move.levelShift].push_back(move.nodeId);
    }
    for (const auto& [shift, ids] : byShift) {
        const std::string list = IdList(ids);
        // The nodes themselves: their parent and level in one write of each row.
        Statement nodes("UPDATE FILE_NODE SET PARENT_ID = ?1, PATH_LEVEL = PATH_LEVEL + ?2 WHERE FILE_ID IN (" + list +
                        ");");
        if (const int rc = nodes.Bind(1, newParentId).Bind(2, static_cast<std::int64_t>(shift)).Run();
            rc != kStatementOk || shift == 0) {
            if (rc != kStatementOk) {
                return rc;
            }
            continue;
        }
        // Everything below them, as MoveRows walks one subtree, from all of them at once.
        Statement below("WITH RECURSIVE below(id) AS (SELECT FILE_ID FROM FILE_NODE WHERE PARENT_ID IN (" + list +
                        ") UNION SELECT FILE_ID FROM FILE_NODE, below WHERE PARENT_ID = below.id) "
                        "UPDATE FILE_NODE SET PATH_LEVEL = PATH_LEVEL + ?1 WHERE FILE_ID IN below;");
        if (const int rc = below.Bind(1, static_cast<std::int64_t>(shift)).Run(); rc != kStatementOk) {
            return rc;
        }
    }
    return kStatementOk;
}

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
