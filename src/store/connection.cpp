#include "store/connection.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <mutex>
#include <new>
#include <sqlite3.h>

namespace mwdx {
namespace {

std::recursive_mutex g_storeMutex;
thread_local int t_storeLocks = 0; // how many StoreLocks this thread holds
sqlite3* g_connection = nullptr;   // read and written only under the store's lock

bool IsMissingOrEmpty(const char* text) {
    return text == nullptr || text[0] == '\0';
}

// Copies a text or blob value into a field of `width` bytes: at most width - 1 bytes, and the
// field's last byte is always the terminator (the rest of the field is already zero).
void CopyIntoField(std::byte* field, int width, const void* value, int valueBytes) {
    if (width <= 0) {
        return;
    }
    const int n = value == nullptr ? 0 : std::min(valueBytes, width - 1);
    if (n > 0) {
        std::memcpy(field, value, static_cast<std::size_t>(n));
    }
    field[width - 1] = std::byte{0};
}

// Room a value takes in the record: integers 4 bytes (8 in a field 8 wide) and doubles 8 whatever
// the column's width, everything else the width.
std::size_t FieldBytes(int type, int width) {
    switch (type) {
    case SQLITE_INTEGER:
        return width == 8 ? 8 : 4;
    case SQLITE_FLOAT:
        return 8;
    default:
        return static_cast<std::size_t>(std::max(width, 0));
    }
}

} // namespace

StoreLock::StoreLock() {
    g_storeMutex.lock();
    ++t_storeLocks;
}

StoreLock::~StoreLock() {
    --t_storeLocks;
    g_storeMutex.unlock();
}

void OpenStore(const std::string& path) {
    const StoreLock lock;
    if (path.empty() || g_connection != nullptr) {
        return;
    }
    sqlite3* handle = nullptr;
    // As sqlite3_open (a missing file becomes an empty database), but without SQLite's mutex on
    // every call: the store's lock already keeps threads to one at a time.
    sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (handle != nullptr) {
        sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    }
    g_connection = handle;
}

void OpenStoreForReading(const std::string& path) {
    const StoreLock lock;
    if (path.empty() || g_connection != nullptr) {
        return;
    }
    sqlite3* handle = nullptr;
    if (sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close(handle);
        return;
    }
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    g_connection = handle;
}

void CloseStore() {
    const StoreLock lock;
    if (g_connection != nullptr) {
        sqlite3_close(g_connection);
        g_connection = nullptr;
    }
}

bool IsStoreOpen() {
    const StoreLock lock;
    return g_connection != nullptr;
}

sqlite3* StoreHandle() {
    assert(t_storeLocks > 0 && "the store's lock is held while its handle is used");
    return g_connection;
}

std::string StoreErrorMessage() {
    const StoreLock lock;
    const char* message = g_connection != nullptr ? sqlite3_errmsg(g_connection) : nullptr;
    return message != nullptr ? message : "";
}

std::int64_t StoreDataVersion() {
    const StoreLock lock;
    if (g_connection == nullptr) {
        return -1;
    }
    sqlite3_stmt* stmt = nullptr;
    std::int64_t version = -1;
    if (sqlite3_prepare_v2(g_connection, "PRAGMA data_version;", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        version = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return version;
}

int ExecStatement(const char* statement) {
    if (IsMissingOrEmpty(statement)) {
        return kEmptyStatement;
    }
    const StoreLock lock;
    if (g_connection == nullptr) {
        return kNoConnection;
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(g_connection, statement, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        sqlite3_free(error);
    }
    return rc;
}

int ExecStatement(const std::string& statement) {
    return ExecStatement(statement.c_str());
}

RowCursor::RowCursor(const char* statement, int columnCount, const ColumnSpec* columns, int recordSize)
    : m_statement(statement), m_columnCount(columnCount), m_columns(columns), m_recordSize(recordSize) {}

RowCursor::~RowCursor() {
    if (m_stmt != nullptr) {
        sqlite3_finalize(m_stmt);
    }
}

int RowCursor::Step() {
    if (!m_started) {
        m_started = true;
        if (IsMissingOrEmpty(m_statement)) {
            return m_finalStatus = kEmptyStatement;
        }
        if (g_connection == nullptr) {
            return m_finalStatus = kNoConnection;
        }
        const auto size = static_cast<std::size_t>(std::max(m_recordSize, 0));
        m_record.reset(new (std::nothrow) std::byte[size == 0 ? 1 : size]());
        if (!m_record) {
            return m_finalStatus = kOutOfMemory;
        }
        const int rc =
            sqlite3_prepare_v2(g_connection, m_statement, static_cast<int>(std::strlen(m_statement)), &m_stmt, nullptr);
        if (rc != SQLITE_OK) {
            return m_finalStatus = rc; // callers see only the code, never SQLite's message
        }
        if (m_stmt == nullptr) {
            // Only a comment or white space: nothing to run, so no rows.
            return m_finalStatus = SQLITE_DONE;
        }
    } else if (m_finalStatus != 0) {
        return m_finalStatus;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW) {
        return m_finalStatus = rc;
    }
    if (sqlite3_column_count(m_stmt) < m_columnCount) {
        return m_finalStatus = kTooFewColumns;
    }
    return kRowReady;
}

std::string_view RowCursor::Text(int column) const {
    if (m_stmt == nullptr || column < 0 || column >= sqlite3_column_count(m_stmt)) {
        return {};
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    if (text == nullptr) {
        return {};
    }
    const std::string_view all(text, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)));
    return all.substr(0, all.find('\0'));
}

int RowCursor::Decode() {
    std::byte* record = m_record.get();
    const auto recordSize = static_cast<std::size_t>(std::max(m_recordSize, 0));
    std::memset(record, 0, recordSize);
    std::size_t offset = 0;
    for (int i = 0; i < m_columnCount; ++i) {
        const int width = m_columns[i].width;
        const int type = sqlite3_column_type(m_stmt, i);
        if (type < SQLITE_INTEGER || type > SQLITE_NULL) {
            m_finalStatus = kUnknownStorageClass;
            return kUnknownStorageClass;
        }
        const std::size_t bytes = FieldBytes(type, width);
        if (offset + bytes > recordSize) {
            break; // the caller's record has no room for this field: never write past it
        }
        std::byte* field = record + offset;
        switch (type) {
        case SQLITE_INTEGER:
            if (bytes == 8) {
                const std::int64_t value = sqlite3_column_int64(m_stmt, i);
                std::memcpy(field, &value, sizeof value);
            } else {
                const std::int32_t value = sqlite3_column_int(m_stmt, i);
                std::memcpy(field, &value, sizeof value);
            }
            break;
        case SQLITE_FLOAT: {
            const double value = sqlite3_column_double(m_stmt, i);
            std::memcpy(field, &value, sizeof value);
            break;
        }
        case SQLITE_TEXT: {
            const unsigned char* text = sqlite3_column_text(m_stmt, i);
            CopyIntoField(field, width, text, sqlite3_column_bytes(m_stmt, i));
            break;
        }
        case SQLITE_BLOB: {
            const void* blob = sqlite3_column_blob(m_stmt, i);
            CopyIntoField(field, width, blob, sqlite3_column_bytes(m_stmt, i));
            break;
        }
        default: // NULL leaves the field zero
            break;
        }
        offset += bytes;
    }
    return kRowReady;
}

int QueryRows(const char* statement, int columnCount, const ColumnSpec* columns, int recordSize, void* records,
              int capacity, int* rowCount) {
    if (IsMissingOrEmpty(statement)) {
        return kEmptyStatement;
    }
    const StoreLock lock;
    if (g_connection == nullptr) {
        return kNoConnection;
    }
    int stored = 0;
    if (rowCount != nullptr) {
        *rowCount = 0;
    }
    RowCursor cursor(statement, columnCount, columns, recordSize);
    auto* out = static_cast<std::byte*>(records);
    int status;
    while ((status = cursor.Step()) == kRowReady) {
        if (stored >= capacity) {
            status = kQueryDone; // the extra row is not stored
            break;
        }
        status = cursor.Decode();
        std::memcpy(out + static_cast<std::size_t>(stored) * static_cast<std::size_t>(recordSize), cursor.Record(),
                    static_cast<std::size_t>(recordSize));
        ++stored;
        if (rowCount != nullptr) {
            *rowCount = stored;
        }
        if (status != kRowReady) {
            break;
        }
    }
    return status;
}

RepeatedStatement::~RepeatedStatement() {
    if (m_stmt != nullptr) {
        sqlite3_finalize(m_stmt);
    }
}

int RepeatedStatement::Run(std::int64_t value) {
    if (!m_prepared) {
        if (IsMissingOrEmpty(m_statement)) {
            return kEmptyStatement;
        }
        if (g_connection == nullptr) {
            return kNoConnection;
        }
        m_prepared = true;
        m_prepareStatus = sqlite3_prepare_v2(g_connection, m_statement, -1, &m_stmt, nullptr);
        if (m_prepareStatus == SQLITE_OK && m_stmt == nullptr) {
            m_prepareStatus = kEmptyStatement; // only a comment or white space
        }
    }
    if (m_prepareStatus != SQLITE_OK) {
        return m_prepareStatus;
    }
    int rc = sqlite3_bind_int64(m_stmt, 1, value);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
        }
        rc = rc == SQLITE_DONE ? kStatementOk : rc;
    }
    sqlite3_reset(m_stmt);
    return rc;
}

bool InTransaction() {
    const StoreLock lock;
    return g_connection != nullptr && sqlite3_get_autocommit(g_connection) == 0;
}

Transaction::~Transaction() {
    if (m_open) {
        ExecStatement(m_nested ? "ROLLBACK TO mwdx_step; RELEASE mwdx_step;" : "ROLLBACK;");
    }
}

int Transaction::Begin() {
    if (m_open) {
        return SQLITE_MISUSE;
    }
    // Held until the transaction ends, so that no other thread's statement lands inside it.
    m_lock.emplace();
    m_nested = InTransaction();
    const int rc = ExecStatement(m_nested ? "SAVEPOINT mwdx_step;" : "BEGIN IMMEDIATE;");
    m_open = rc == kStatementOk;
    if (!m_open) {
        m_lock.reset();
    }
    return rc;
}

int Transaction::Commit() {
    if (!m_open) {
        return SQLITE_MISUSE;
    }
    const int rc = ExecStatement(m_nested ? "RELEASE mwdx_step;" : "COMMIT;");
    if (rc != kStatementOk) {
        ExecStatement(m_nested ? "ROLLBACK TO mwdx_step; RELEASE mwdx_step;" : "ROLLBACK;");
    }
    m_open = false;
    m_lock.reset();
    return rc;
}

} // namespace mwdx
