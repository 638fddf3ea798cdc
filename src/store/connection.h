#pragma once

// The program's one connection to mymwdx.db and the two operations every statement goes through.
// The layer reports numeric status codes only; it never shows or logs a message.
//
// Threads: any thread may use the connection, one at a time. The store serialises: every call
// below holds the store's lock (StoreLock) while it runs, a Statement from its making to its end,
// and a Transaction from Begin to Commit or its end, so that a worker's
// transaction and the window's statements never interleave; the other waits. Code that uses
// StoreHandle() itself holds a StoreLock meanwhile. SQLite's own mutex is therefore left out
// (SQLITE_OPEN_NOMUTEX): it would only lock each call, never a transaction.
// One serialised connection rather than one per thread, because the program is one writer: its
// own commits never look like another program's (StoreDataVersion), a transaction is never
// taken for the outer one of another thread's (InTransaction), and the journal's entries left
// for later belong to the one connection that wrote them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace mwdx {

// Status codes of QueryRows and ExecStatement. Any other positive value is the SQLite result
// code of the prepare, step or exec that failed.
inline constexpr int kQueryDone = 101;          // SQLITE_DONE: every row was stored
inline constexpr int kStatementOk = 0;          // SQLITE_OK
inline constexpr int kNoConnection = -2;        // no connection is open
inline constexpr int kEmptyStatement = -3;      // the statement text is missing or empty
inline constexpr int kTooFewColumns = -4;       // the query returns fewer columns than asked for
inline constexpr int kUnknownStorageClass = -5; // a column reported a class SQLite does not define
inline constexpr int kOutOfMemory = -6;         // no room for the scratch record

inline constexpr int kRowReady = 100; // SQLITE_ROW, internal to the row cursor

inline constexpr int kBusyTimeoutMs = 5000;

// One result column: its index, the storage class the caller expects (1 integer, 3 text) and
// the width of its field in the caller's record. Only the width is used; columns are always
// taken in order, each stored by the class the database reports for its value.
struct ColumnSpec {
    std::int32_t index;
    std::int32_t storageClass;
    std::int32_t width;
};

// The store's lock, held by this thread while the object lives; the same thread may take it again.
// Never hold it while waiting for another thread that uses the store.
class StoreLock final {
public:
    StoreLock();
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
};

// Opens the program-wide connection on the file (UTF-8 path) unless one is open or the path is
// empty. Like sqlite3_open, a missing file becomes an empty database; whatever handle SQLite gives
// becomes the connection. Sets the busy timeout so a briefly locked file is waited for.
void OpenStore(const std::string& path);

// Opens the program-wide connection on an existing file for reading only (a tool that must never
// write). Nothing is created; without a connection afterwards the file could not be opened.
void OpenStoreForReading(const std::string& path);

// Closes the connection if one is open.
void CloseStore();

bool IsStoreOpen();

// The open handle, or nullptr. For the row cursor, transactions and tests; the caller holds a
// StoreLock for as long as it uses the handle.
sqlite3* StoreHandle();

// The rowid of the row this connection inserted last; 0 without a connection or before any.
std::int64_t LastInsertedRowId();

// The file the connection has open (as SQLite names it); empty without a connection.
std::string StoreFilePath();

// A copy of SQLite's message for the connection's last failure; empty without a connection.
std::string StoreErrorMessage();

// The store's PRAGMA data_version: it changes whenever another connection commits a change to
// the file (never for this connection's own). -1 without a connection or when it cannot be read.
std::int64_t StoreDataVersion();

// Runs a statement that returns no rows. Returns kStatementOk, kEmptyStatement (null or empty
// text), kNoConnection, or the SQLite result code of sqlite3_exec.
int ExecStatement(const char* statement);
int ExecStatement(const std::string& statement);

// Runs a query and copies each row into the next record of `records` (capacity records of
// recordSize bytes, fields laid out by `columns` without gaps). Integers take 4 bytes (8, whole,
// in a field whose width is 8), doubles 8, text and blobs their field width (cut to width - 1 bytes and always
// NUL-terminated), NULL leaves the field zero. Rows past the capacity are not stored. Returns kQueryDone when all rows
// were read, otherwise a negative code above or the SQLite code that ended the query; *rowCount holds the rows stored
// either way (untouched for kEmptyStatement and kNoConnection).
int QueryRows(const char* statement, int columnCount, const ColumnSpec* columns, int recordSize, void* records,
              int capacity, int* rowCount);

// One statement on the program's connection: prepared when made, finalised when destroyed, the
// store's lock held all the while. The one way the program runs SQL; QueryRows and ExecStatement are
// made of it. Never throws.
//
//   Statement select("SELECT PATH_LEVEL FROM FILE_NODE WHERE FILE_ID = ?;");
//   select.Bind(1, id);
//   while (select.Next()) { use(select.Integer(0)); }
//   if (select.Status() != kStatementOk) { the failure's code }
//
// Run it again with other values: Reset(), Bind(...), then Next() or Run() again.
class Statement final {
public:
    explicit Statement(std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds the `index`th parameter (from 1); text is copied. A failure shows in the next step.
    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);

    // Steps once: true when a row is there. Once false, Status() tells kStatementOk (all rows
    // read) or the failure: kNoConnection, kEmptyStatement (nothing to run), or SQLite's code of
    // the prepare, a bind or the step.
    bool Next();
    // Steps to the end, passing over any rows: kStatementOk or the failure's code as above.
    int Run();
    // Ready to run again from the start, with the values bound so far.
    void Reset();
    int Status() const { return m_status; }

    // The current row's columns (from 0).
    int Columns() const;
    int Type(int column) const; // SQLite's storage class
    std::int64_t Integer(int column) const;
    double Real(int column) const;
    // Text or blob bytes, valid until the next step.
    std::string_view Bytes(int column) const;
    std::string Text(int column) const { return std::string(Bytes(column)); }

private:
    StoreLock m_lock; // taken first, let go last
    sqlite3_stmt* m_stmt = nullptr;
    int m_status = 0;
    bool m_done = false; // stepped to its end: Reset() before it runs again
};

// All or nothing for a group of statements: BEGIN IMMEDIATE on Begin(), ROLLBACK when destroyed
// without a successful Commit(). Inside a transaction already open, it is a savepoint of that
// transaction instead: its Commit() keeps its changes for the outer one to commit, and without
// it they are undone while the outer transaction goes on. Never throws.
class Transaction final {
public:
    Transaction() = default;
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // kStatementOk when the transaction (or savepoint) is open; otherwise the status of the BEGIN.
    int Begin();
    // kStatementOk when the changes are saved (or kept for the outer transaction); otherwise they
    // are rolled back.
    int Commit();

private:
    std::optional<StoreLock> m_lock; // from Begin to the transaction's end
    bool m_open = false;
    bool m_nested = false;
};

// True while a transaction is open on the program's connection.
bool InTransaction();

} // namespace mwdx
