#include "store/check_record.h"

#include "store/connection.h"


namespace mwdx {

int WriteLastCheck(std::int64_t findings) {
    Transaction transaction;
    int rc = transaction.Begin();
    if (rc == kStatementOk) {
        rc = ExecStatement("CREATE TABLE IF NOT EXISTS MWDX_LAST_CHECK (ID INTEGER PRIMARY KEY CHECK (ID = 1),"
                           "FINDINGS INTEGER NOT NULL, CHECKED_AT INTEGER NOT NULL);");
    }
    if (rc == kStatementOk) {
        rc = ExecStatement("INSERT OR REPLACE INTO MWDX_LAST_CHECK (ID, FINDINGS, CHECKED_AT) VALUES (1, " +
                           std::to_string(findings) + ", strftime('%s','now'));");
    }
    return rc == kStatementOk ? transaction.Commit() : rc;
}

std::optional<std::int64_t> ReadLastCheck() {
    // Before the first check there is no table, and the statement cannot be prepared.
    Statement select("SELECT FINDINGS FROM MWDX_LAST_CHECK WHERE ID = 1;");
    if (select.Next()) {
        return select.Integer(0);
    }
    return std::nullopt;
}

} // namespace mwdx
