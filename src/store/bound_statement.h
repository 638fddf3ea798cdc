#pragma once

// One statement prepared on the program's connection with its values bound as parameters (never
// pasted into its text), for the program's own tables: the journal and the trash. Holds the
// store's lock from its making to its end, and is finalized on every way out.

#include "store/connection.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mwdx {

class BoundStatement final {
public:
    explicit BoundStatement(const char* sql);
    ~BoundStatement();
    BoundStatement(const BoundStatement&) = delete;
    BoundStatement& operator=(const BoundStatement&) = delete;

    // False when it could not be prepared (no connection, a table missing, ...): Status() says why.
    bool Ready() const { return m_stmt != nullptr && m_status == kStatementOk; }
    int Status() const { return m_status; }

    // Parameters count from 1.
    void Text(int index, std::string_view value);
    void Integer(int index, std::int64_t value);

    // Runs to the end, skipping rows: kStatementOk or the failure's code (kEmptyStatement,
    // kNoConnection or SQLite's). Then ready to run again with new values.
    int Run();

    // Steps to the next row: true while there is one. At the end Status() is kStatementOk, or the
    // failure's code.
    bool Next();
    std::int64_t ColumnInteger(int column) const;
    std::string ColumnText(int column) const; // "" for NULL

private:
    StoreLock m_lock; // taken first, let go last
    sqlite3_stmt* m_stmt = nullptr;
    int m_status = kStatementOk;
};

} // namespace mwdx
