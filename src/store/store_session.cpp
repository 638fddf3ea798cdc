#include "store/store_session.h"

#include "platform/home_fs.h"
#include "schema_sql.h"
#include "store/connection.h"
#include "store/fresh_database.h"
#include "store/journal.h"
#include "store/statements.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>

namespace mwdx {
namespace {

// Waiting this long at start for a lock another program holds on the database itself, so that a
// locked store is reported soon rather than after the full busy timeout of every query.
constexpr int kStartBusyTimeoutMs = 2000;

// The two locks go with the store, so the store's lock guards them too.
InstanceLock g_lock;
InstanceLock g_homeLock;
std::atomic<std::int64_t> g_version{-1};

StoreStartResult Result(StoreStart status, std::string detail = {}) {
    return {status, std::move(detail)};
}

// Leaves nothing open or held.
StoreStartResult Abandon(StoreStart status, std::string detail) {
    CloseStore();
    g_lock.Release();
    g_homeLock.Release();
    return Result(status, std::move(detail));
}

// The stored Home Directory ("" when there is none or it cannot be read).
std::string StoredHomeDirectory() {
    Statement select("SELECT ROOT_DIR FROM SYS_CONFIG LIMIT 1;");
    // As a C string, as the settings row is read everywhere else.
    return select.Next() ? std::string(select.Text(0).c_str()) : std::string();
}

// The result code of preparing `sql` (nothing is run).
int PrepareOnly(const char* sql) {
    const Statement prepared(sql);
    return prepared.Status();
}

// How many tables the store has (-1 and *rc on failure).
int CountTables(int* rc) {
    Statement count("select count(*) from sqlite_master where type = 'table';");
    if (count.Next()) {
        *rc = kStatementOk;
        return static_cast<int>(count.Integer(0));
    }
    // A query that ends without its one row still counts as a failure.
    *rc = count.Status() == kStatementOk ? SQLITE_DONE : count.Status();
    return -1;
}

bool IsBusy(int rc) {
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

} // namespace

StoreStartResult StartStore(const std::string& path) {
    const StoreLock lock;
    if (g_lock.Held()) {
        return Result(StoreStart::kInUse, "this process has a knowledge base open already");
    }
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
        if (errno != ENOENT) {
            return Result(StoreStart::kFailed, path + ": " + std::strerror(errno));
        }
        std::string error;
        // Another start may have made it a moment ago: then it is simply there.
        if (!CreateFreshDatabase(path, &error) && ::stat(path.c_str(), &file) != 0) {
            return Result(StoreStart::kFailed, path + ": " + error);
        }
    } else if (!S_ISREG(file.st_mode)) {
        return Result(StoreStart::kNotAStore, path + " is not a file");
    }

    switch (g_lock.Acquire(path)) {
    case LockResult::kLocked:
        break;
    case LockResult::kHeldByOther:
        return Result(StoreStart::kInUse, path + " is in use by another window of the program");
    case LockResult::kFailed:
        return Result(StoreStart::kFailed, path + ": " + std::strerror(errno));
    }

    OpenStore(path);
    if (!IsStoreOpen()) {
        return Abandon(StoreStart::kFailed, path + ": cannot open the database");
    }
    sqlite3_busy_timeout(StoreHandle(), kStartBusyTimeoutMs);
    int rc = SQLITE_OK;
    const int tables = CountTables(&rc);
    if (IsBusy(rc)) {
        return Abandon(StoreStart::kBusy, path + " is locked by another program");
    }
    if (rc != SQLITE_OK) {
        return Abandon(StoreStart::kNotAStore, path + ": " + sqlite3_errstr(rc));
    }
    StoreStart status = StoreStart::kReady;
    if (tables == 0) {
        // An empty file (or one SQLite made empty): give it the fresh schema, as a missing one gets.
        const std::string script = std::string("BEGIN IMMEDIATE;\n") + kFreshDatabaseSchema + "\nCOMMIT;\n";
        rc = ExecStatement(script);
        if (rc != kStatementOk) {
            ExecStatement("ROLLBACK;");
            return Abandon(IsBusy(rc) ? StoreStart::kBusy : StoreStart::kFailed,
                           path + ": cannot write the tables: " + sqlite3_errstr(rc));
        }
        status = StoreStart::kCreated;
    }
    // The program reads exactly these columns; a file without them is somebody else's database.
    for (const char* query : {kSelectSettings, kSelectNodes}) {
        rc = PrepareOnly(query);
        if (IsBusy(rc)) {
            return Abandon(StoreStart::kBusy, path + " is locked by another program");
        }
        if (rc != SQLITE_OK) {
            return Abandon(StoreStart::kNotAStore, path + ": " + StoreErrorMessage());
        }
    }
    // Two copies of the store on one Home Directory would each delete what the other added. A
    // first start has no Home Directory yet, and a missing one holds nothing: the lock waits
    // until the configuration gives one.
    const std::string home = StoredHomeDirectory();
    if (IsUsableHomeDirectory(home)) {
        InstanceLock homeLock;
        if (TakeHomeLock(home, homeLock) == LockResult::kHeldByOther) {
            return Abandon(StoreStart::kHomeInUse, home + " is the Home Directory of another program");
        }
        KeepHomeLock(std::move(homeLock));
    }
    sqlite3_busy_timeout(StoreHandle(), kBusyTimeoutMs);
    RememberStoreVersion();
    return Result(status);
}

void StopStore() {
    const StoreLock lock;
    ClearJournalEntriesLeftForLater();
    CloseStore();
    g_lock.Release();
    g_homeLock.Release();
    g_version = -1;
}

LockResult TakeHomeLock(const std::string& home, InstanceLock& lock) {
    const StoreLock guard;
    lock.Release();
    // A second lock of this process on the same folder would fail as another program's does.
    if (g_homeLock.HeldOn(home)) {
        return LockResult::kLocked;
    }
    return lock.Acquire(home);
}

void KeepHomeLock(InstanceLock&& lock) {
    const StoreLock guard;
    if (lock.Held()) {
        g_homeLock = std::move(lock);
    }
}

bool StoreChangedElsewhere() {
    const std::int64_t now = StoreDataVersion();
    return now < 0 || now != g_version;
}

void RememberStoreVersion() {
    g_version = StoreDataVersion();
}

} // namespace mwdx
