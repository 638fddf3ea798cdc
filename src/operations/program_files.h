#pragma once

// The program's own files: the program's folder (the program, its tools, js/, the help pages) and
// the store with SQLite's files beside it. They may lie in the Home Directory, or in a folder a
// user imports, but they never become documents, and no command moves or deletes them.

#include <string>
#include <string_view>
#include <vector>

namespace mwdx {

// The content index the program keeps beside the store: its file name in the store's folder.
inline constexpr const char* kTextIndexFileName = "mymwdx_text.db";

// The program passes its own to every command that imports, moves or deletes; an empty one (as
// the tests and the benchmarks give) keeps nothing in particular.
struct ProgramFiles {
    std::string folder; // the program's folder; empty: none to keep
    std::string store;  // the store's file (mymwdx.db); empty: none to keep
};

// The program's files when the store is mymwdx.db in the program's folder, as the program has it.
ProgramFiles ProgramFilesIn(const std::string& programFolder);

// The store's file and the files SQLite keeps beside it (-journal, -wal, -shm), then the content
// index beside the store with its own; none without a store.
std::vector<std::string> StoreFilesOf(const ProgramFiles& files);

// True when the folder `home` (existing or not) is the program's folder or lies above it.
bool HoldsProgramFolder(const std::string& home, const std::string& programFolder);

// Where the program's files are, as seen from one Home Directory: the store's files, and the
// program's folder as a whole or, when the Home Directory is that folder or lies inside it, the
// entries the program puts there. Paths are compared after links are followed, and in the form the
// Home Directory gives them (as the catalog's paths are), so a walk down from the Home Directory
// meets them under the names it uses.
class ProgramPlaces final {
public:
    ProgramPlaces(const ProgramFiles& files, const std::string& home);

    // True for one of the program's files or a path inside one.
    bool Owns(std::string_view path) const;
    // True for a folder that holds one of them at any depth, the Home Directory included.
    bool Holds(std::string_view path) const;
    // Either: moving, deleting or importing what is at `path` would take the program's files along.
    bool Touches(std::string_view path) const { return Owns(path) || Holds(path); }

    // The program's files that lie in the Home Directory, as paths in its form.
    const std::vector<std::string>& InHome() const { return m_inHome; }

private:
    // Each place once as its real path, and once in the Home Directory's form when it lies there.
    std::vector<std::string> m_real;
    std::vector<std::string> m_inHome;
    std::string m_home;     // lexically normal
    std::string m_realHome; // links followed; empty when it cannot be resolved
};

} // namespace mwdx
