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

Statement::Statement(std::string_view sql) {
    if (sql.empty()) {
        m_status = kEmptyStatement;
        return;
    }
    if (g_connection == nullptr) {
        m_status = kNoConnection;
        return;
    }
    const int rc = sqlite3_prepare_v2(g_connection, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    // Only a comment or white space prepares to nothing: nothing to run.
    m_status = rc != SQLITE_OK ? rc : m_stmt == nullptr ? kEmptyStatement : kStatementOk;
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt); // harmless on nullptr
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (m_stmt != nullptr && m_status == kStatementOk) {
        if (const int rc = sqlite3_bind_int64(m_stmt, index, value); rc != SQLITE_OK) {
            m_status = rc;
        }
    }
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (m_stmt != nullptr && m_status == kStatementOk) {
        const int rc = sqlite3_bind_text(m_stmt, index, text.data() != nullptr ? text.data() : "",
                                         static_cast<int>(text.size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK) {
            m_status = rc;
        }
    }
    return *this;
}

bool Statement::Next() {
    if (m_stmt == nullptr || m_status != kStatementOk || m_done) {
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    m_done = true;
    m_status = rc == SQLITE_DONE ? kStatementOk : rc;
    return false;
}

int Statement::Run() {
    while (Next()) {
    }
    return m_status;
}

void Statement::Reset() {
    if (m_stmt == nullptr) {
        return;
    }
    sqlite3_reset(m_stmt);
    m_done = false;
    m_status = kStatementOk;
}

int Statement::Columns() const {
    return m_stmt != nullptr ? sqlite3_column_count(m_stmt) : 0;
}

int Statement::Type(int column) const {
    return sqlite3_column_type(m_stmt, column);
}

std::int64_t Statement::Integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::Real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

std::string_view Statement::Bytes(int column) const {
    // The pointer first, then its length, as SQLite asks.
    const void* bytes = sqlite3_column_type(m_stmt, column) == SQLITE_BLOB ? sqlite3_column_blob(m_stmt, column)
                                                                           : sqlite3_column_text(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    return bytes != nullptr ? std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                            : std::string_view();
}

namespace {

// QueryRows' reader: a query's rows one at a time into a single scratch record. The column
// specs must outlive the cursor.
//
//   RowCursor cursor(text, n, columns, recordSize);
//   int status;
//   while ((status = cursor.Step()) == kRowReady) {
//       status = cursor.Decode();           // kRowReady, or kUnknownStorageClass after the last usable row
//       use(cursor.Record());
//       if (status != kRowReady) break;
//   }
//   // status is kQueryDone on success
class RowCursor final {
public:
    RowCursor(const char* statement, int columnCount, const ColumnSpec* columns, int recordSize);
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // Prepares on first use, then steps. kRowReady when a row is there (with at least columnCount
    // columns); otherwise the final status: kQueryDone, kTooFewColumns, an SQLite code, or a
    // set-up failure (kEmptyStatement, kNoConnection, kOutOfMemory, the prepare's code).
    int Step();

    // Decodes the current row into the scratch record after zeroing it. kRowReady, or
    // kUnknownStorageClass when a column had an unknown class (the fields before it are filled).
    int Decode();

    const std::byte* Record() const { return m_record.get(); }

private:
    Statement m_statement;
    bool m_emptyText;
    int m_columnCount;
    const ColumnSpec* m_columns;
    int m_recordSize;
    std::unique_ptr<std::byte[]> m_record;
    bool m_started = false;
    int m_finalStatus = 0;
};

} // namespace

RowCursor::RowCursor(const char* statement, int columnCount, const ColumnSpec* columns, int recordSize)
    : m_statement(IsMissingOrEmpty(statement) ? std::string_view() : std::string_view(statement)),
      m_emptyText(IsMissingOrEmpty(statement)), m_columnCount(columnCount), m_columns(columns), m_recordSize(recordSize) {}

int RowCursor::Step() {
    if (!m_started) {
        m_started = true;
        const int prepared = m_statement.Status();
        if (m_emptyText || prepared == kNoConnection) {
            return m_finalStatus = m_emptyText ? kEmptyStatement : kNoConnection;
        }
        const auto size = static_cast<std::size_t>(std::max(m_recordSize, 0));
        m_record.reset(new (std::nothrow) std::byte[size == 0 ? 1 : size]());
        if (!m_record) {
            return m_finalStatus = kOutOfMemory;
        }
        if (prepared == kEmptyStatement) {
            // Only a comment or white space: nothing to run, so no rows.
            return m_finalStatus = kQueryDone;
        }
        if (prepared != kStatementOk) {
            return m_finalStatus = prepared; // callers see only the code, never SQLite's message
        }
    } else if (m_finalStatus != 0) {
        return m_finalStatus;
    }
    if (!m_statement.Next()) {
        const int status = m_statement.Status();
        return m_finalStatus = status == kStatementOk ? kQueryDone : status;
    }
    if (m_statement.Columns() < m_columnCount) {
        return m_finalStatus = kTooFewColumns;
    }
    return kRowReady;
}

int RowCursor::Decode() {
    std::byte* record = m_record.get();
    const auto recordSize = static_cast<std::size_t>(std::max(m_recordSize, 0));
    std::memset(record, 0, recordSize);
    std::size_t offset = 0;
    for (int i = 0; i < m_columnCount; ++i) {
        const int width = m_columns[i].width;
        const int type = m_statement.Type(i);
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
                const std::int64_t value = m_statement.Integer(i);
                std::memcpy(field, &value, sizeof value);
            } else {
                const auto value = static_cast<std::int32_t>(m_statement.Integer(i));
                std::memcpy(field, &value, sizeof value);
            }
            break;
        case SQLITE_FLOAT: {
            const double value = m_statement.Real(i);
            std::memcpy(field, &value, sizeof value);
            break;
        }
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const std::string_view bytes = m_statement.Bytes(i);
            CopyIntoField(field, width, bytes.data(), static_cast<int>(bytes.size()));
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

std::int64_t LastInsertedRowId() {
    const StoreLock lock;
    return g_connection != nullptr ? sqlite3_last_insert_rowid(g_connection) : 0;
}

std::string StoreFilePath() {
    const StoreLock lock;
    const char* name = g_connection != nullptr ? sqlite3_db_filename(g_connection, "main") : nullptr;
    return name != nullptr ? name : "";
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
