#include "operations/program_files.h"

#include "catalog/disk_rules.h"
#include "catalog/paths.h"
#include "platform/home_fs.h"

#include <algorithm>

namespace mwdx {
namespace {

// What staging puts in the program's folder beside the store (the install rules of CMakeLists.txt
// and src/tools/CMakeLists.txt): where the Home Directory is that folder, these are the program's.
constexpr const char* kProgramEntries[] = {
    "marrowdex", "marrowdex-initdb", "marrowdex-index", "marrowdex-check", "marrowdex-search", "marrowdex-extract",
    "js",        "ehelp.html",       "chelp.html",      "docs",            "windows",          "marrowdex.png",
    "marrowdex.desktop",
};

constexpr const char* kStoreSuffixes[] = {"", "-journal", "-wal", "-shm"};

// The path with the links above its last part followed: a link itself is what moving or deleting
// it takes, never what it points to.
std::string RealPathOfEntry(const std::string& normal) {
    const auto slash = normal.rfind('/');
    if (slash == std::string::npos || normal == "/") {
        return RealPathOfExistingPart(normal);
    }
    const std::string folder = RealPathOfExistingPart(slash == 0 ? "/" : normal.substr(0, slash));
    return folder.empty() ? folder : (folder == "/" ? "" : folder) + normal.substr(slash);
}

} // namespace

ProgramFiles ProgramFilesIn(const std::string& programFolder) {
    return {programFolder, programFolder.empty() ? std::string() : JoinNodePath(programFolder, "mymwdx.db")};
}

std::vector<std::string> StoreFilesOf(const ProgramFiles& files) {
    std::vector<std::string> paths;
    if (!files.store.empty()) {
        const std::size_t slash = files.store.rfind('/');
        const std::string index =
            (slash == std::string::npos ? std::string() : files.store.substr(0, slash + 1)) + kTextIndexFileName;
        for (const std::string& file : {files.store, index}) {
            for (const char* suffix : kStoreSuffixes) {
                paths.push_back(file + suffix);
            }
        }
    }
    return paths;
}

bool HoldsProgramFolder(const std::string& home, const std::string& programFolder) {
    const std::string realHome = RealPathOfExistingPart(home);
    const std::string realProgram = RealPathOfExistingPart(programFolder);
    return !realHome.empty() && !realProgram.empty() && IsAtOrBelow(realProgram, realHome);
}

ProgramPlaces::ProgramPlaces(const ProgramFiles& files, const std::string& home)
    : m_home(home.empty() ? std::string() : LexicallyNormal(home)), m_realHome(RealPathOfExistingPart(m_home)) {
    std::vector<std::string> places = StoreFilesOf(files);
    if (!files.folder.empty()) {
        const std::string realFolder = RealPathOfExistingPart(files.folder);
        if (!m_realHome.empty() && !realFolder.empty() && IsAtOrBelow(m_realHome, realFolder)) {
            // The user's documents live in (or below) the program's folder: only what the program
            // put there is its own.
            for (const char* entry : kProgramEntries) {
                places.push_back(JoinNodePath(files.folder, entry));
            }
        } else {
            places.push_back(files.folder);
        }
    }
    for (const std::string& place : places) {
        const std::string real = RealPathOfExistingPart(place);
        if (real.empty()) {
            continue;
        }
        m_real.push_back(real);
        if (!m_realHome.empty() && m_realHome != "/" && IsAtOrBelow(real, m_realHome)) {
            m_inHome.push_back(m_home + real.substr(m_realHome.size()));
        }
    }
}

bool ProgramPlaces::Owns(std::string_view path) const {
    const std::string normal = LexicallyNormal(path);
    if (!m_home.empty() && IsAtOrBelow(normal, m_home)) {
        return std::any_of(m_inHome.begin(), m_inHome.end(),
                           [&](const std::string& place) { return IsAtOrBelow(normal, place); });
    }
    const std::string real = RealPathOfEntry(normal);
    return !real.empty() && std::any_of(m_real.begin(), m_real.end(),
                                        [&](const std::string& place) { return IsAtOrBelow(real, place); });
}

bool ProgramPlaces::Holds(std::string_view path) const {
    const std::string normal = LexicallyNormal(path);
    const auto below = [](const std::string& folder) {
        return [&folder](const std::string& place) { return place != folder && IsAtOrBelow(place, folder); };
    };
    if (!m_home.empty() && IsAtOrBelow(normal, m_home)) {
        return std::any_of(m_inHome.begin(), m_inHome.end(), below(normal));
    }
    const std::string real = RealPathOfEntry(normal);
    return !real.empty() && std::any_of(m_real.begin(), m_real.end(), below(real));
}

} // namespace mwdx
