#include "support/test_support.h"

#include "store/fresh_database.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <system_error>

namespace mwdx::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowdex-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

ScopedLocale::ScopedLocale(const char* lang) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        m_saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        ::unsetenv(name);
    }
    ::setenv("LANG", lang, 1);
}

ScopedLocale::~ScopedLocale() {
    for (const auto& [name, value] : m_saved) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
}

void MakeFreshDatabase(const std::string& path) {
    std::string error;
    ASSERT_TRUE(CreateFreshDatabase(path, &error)) << error;
}

void RunSql(const std::string& databasePath, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string reason = message != nullptr ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << reason << "\n" << sql;
}

std::string QueryText(const std::string& databasePath, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string result;
    if (sqlite3_open(databasePath.c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(stmt, 0);
            result = text != nullptr ? reinterpret_cast<const char*>(text) : "";
        } else {
            ADD_FAILURE() << "query failed: " << sqlite3_errmsg(db) << "\n" << sql;
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return result;
}

void MakeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

} // namespace mwdx::test
