#include "operations/steps.h"

#include "platform/home_fs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mwdx {

PathKind WhatIsAt(std::string_view path) {
    struct stat st {};
    const std::string text(path);
    if (::lstat(text.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? PathKind::kNothing : PathKind::kOther;
    }
    if (!S_ISDIR(st.st_mode)) {
        return PathKind::kOther;
    }
    DIR* dir = ::opendir(text.c_str());
    if (dir == nullptr) {
        return PathKind::kFolder;
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty ? PathKind::kEmptyFolder : PathKind::kFolder;
}

void PlaceLooks::ReadFolder(const std::string& folder) {
    std::unordered_set<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) {
            m_folders.insert_or_assign(folder, std::move(names)); // nothing can be in it
        }
        return;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        names.emplace(entry->d_name);
    }
    const bool whole = errno == 0;
    ::closedir(dir);
    if (whole) {
        m_folders.insert_or_assign(folder, std::move(names));
    }
}

bool PlaceLooks::Taken(const std::string& path) const {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && slash + 1 < path.size()) {
        const auto folder = m_folders.find(path.substr(0, slash));
        const std::string_view name = std::string_view(path).substr(slash + 1);
        if (folder != m_folders.end() && name != "." && name != "..") {
            return folder->second.contains(std::string(name));
        }
    }
    return WhatIsAt(path) != PathKind::kNothing;
}

std::uint64_t UniqueNumber() {
    static std::atomic<std::uint64_t> last{0};
    const auto now = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    std::uint64_t previous = last.load();
    std::uint64_t next;
    do {
        next = std::max(now, previous + 1);
    } while (!last.compare_exchange_weak(previous, next));
    return next;
}

std::string FolderOf(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::string OutermostMissing(std::string_view home, std::string_view path) {
    std::string missing;
    std::string current(path);
    const std::string normalHome = LexicallyNormal(home);
    while (!current.empty() && LexicallyNormal(current) != normalHome && WhatIsAt(current) == PathKind::kNothing) {
        missing = current;
        current = FolderOf(current);
    }
    return missing;
}

void RemoveEmptyFoldersUpTo(const HomeTree& home, std::string_view path, std::string_view outermost) {
    if (outermost.empty() || !IsAtOrBelow(LexicallyNormal(path), LexicallyNormal(outermost))) {
        return;
    }
    MadeDirectories chain; // outermost first, as MakeDirectoryPath lists them
    for (std::string current(path);; current = FolderOf(current)) {
        chain.insert(chain.begin(), current);
        if (LexicallyNormal(current) == LexicallyNormal(outermost) || current.empty()) {
            break;
        }
    }
    home.RemoveMadeDirectories(chain); // only empty ones go
}

} // namespace mwdx
