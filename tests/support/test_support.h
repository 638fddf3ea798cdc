#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mwdx::test {

// A new, empty folder under the system's temporary directory, removed with everything in it
// when the object goes.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// The locale variables LC_ALL, LC_MESSAGES and LANG set to `lang` (LANG) and unset (the others)
// while the object lives; their old values come back when it goes.
class ScopedLocale final {
public:
    explicit ScopedLocale(const char* lang);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

// Writes `text` into the file at `path`, making the folders above it first.
void MakeFile(const std::string& path, const std::string& text = "x");

// Creates a fresh database (both tables, the first settings row) at `path`; fails the test if it cannot.
void MakeFreshDatabase(const std::string& path);

// Runs SQL on the file through a connection of its own (not the program's); fails the test on error.
void RunSql(const std::string& databasePath, const std::string& sql);

// The first column of the first row of a query, as text ("" when there is no row).
std::string QueryText(const std::string& databasePath, const std::string& sql);

} // namespace mwdx::test
