#include "store/bound_statement.h"

#include <sqlite3.h>

namespace mwdx {

BoundStatement::BoundStatement(const char* sql) {
    if (StoreHandle() == nullptr) {
        m_status = kNoConnection;
        return;
    }
    m_status = sqlite3_prepare_v2(StoreHandle(), sql, -1, &m_stmt, nullptr);
    if (m_status == SQLITE_OK && m_stmt == nullptr) {
        m_status = kEmptyStatement; // only a comment or white space
    }
}

BoundStatement::~BoundStatement() {
    sqlite3_finalize(m_stmt);
}

void BoundStatement::Text(int index, std::string_view value) {
    sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void BoundStatement::Integer(int index, std::int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
}

int BoundStatement::Run() {
    if (!Ready()) {
        return m_status;
    }
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
    }
    sqlite3_reset(m_stmt);
    return rc == SQLITE_DONE ? kStatementOk : rc;
}

bool BoundStatement::Next() {
    if (!Ready()) {
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    m_status = rc == SQLITE_DONE ? kStatementOk : rc;
    sqlite3_reset(m_stmt);
    return false;
}

std::int64_t BoundStatement::ColumnInteger(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::string BoundStatement::ColumnText(int column) const {
    const auto* text = sqlite3_column_text(m_stmt, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                         static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                           : std::string();
}

} // namespace mwdx
