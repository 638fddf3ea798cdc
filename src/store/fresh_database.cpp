#include "store/fresh_database.h"

#include "schema_sql.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mwdx {
namespace {

bool Fail(std::string* error, std::string reason) {
    if (error != nullptr) {
        *error = std::move(reason);
    }
    return false;
}

std::string SystemReason(int code) {
    return std::strerror(code);
}

// Publishes `from` as `to` only when nothing is at `to`.
int PublishWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without RENAME_NOREPLACE: a hard link fails just the same when `to` exists.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    ::unlink(from.c_str());
    return 0;
}

} // namespace

bool CreateFreshDatabase(const std::string& path, std::string* error) {
    struct stat st {};
    if (path.empty()) {
        return Fail(error, "no path given");
    }
    if (::lstat(path.c_str(), &st) == 0) {
        return Fail(error, "a file already exists there; it was left untouched");
    }

    std::string temp = path + ".new-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return Fail(error, "cannot create a file beside it: " + SystemReason(errno));
    }
    ::close(fd);

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        char* message = nullptr;
        const std::string script = std::string("BEGIN;\n") + kFreshDatabaseSchema + "\nCOMMIT;\n";
        rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, &message);
        if (rc != SQLITE_OK) {
            const std::string reason = message != nullptr ? message : sqlite3_errstr(rc);
            sqlite3_free(message);
            sqlite3_close(db);
            ::unlink(temp.c_str());
            return Fail(error, "cannot write the tables: " + reason);
        }
    }
    if (rc != SQLITE_OK) {
        const std::string reason = sqlite3_errstr(rc);
        sqlite3_close(db);
        ::unlink(temp.c_str());
        return Fail(error, "cannot open the new database: " + reason);
    }
    sqlite3_close(db);

    // SQLite synced its journal commits; sync the finished file itself before it gets its name.
    const int syncFd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (syncFd >= 0) {
        ::fsync(syncFd);
        ::close(syncFd);
    }
    // mkstemp made the file private; a database beside the program follows the umask like any file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temp.c_str(), 0666 & ~mask);

    const int published = PublishWithoutReplacing(temp, path);
    if (published != 0) {
        ::unlink(temp.c_str());
        if (published == EEXIST) {
            return Fail(error, "a file already exists there; it was left untouched");
        }
        return Fail(error, "cannot put the database in place: " + SystemReason(published));
    }
    // The new name lives in the directory: sync it too, so the database survives a crash right after.
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace mwdx
