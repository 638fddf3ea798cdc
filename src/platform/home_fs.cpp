#include "platform/home_fs.h"

#include "platform/unique_fd.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace mwdx {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::string_view kTemporaryPrefix = ".marrowdex.";
// Index: TemporaryKind.
constexpr std::array<std::string_view, 5> kTemporaryKinds = {"deleting", "copy", "folder", "lnk", "mark"};
// The index page writer's own, beside the page.
constexpr std::string_view kPageTemporaryPrefix = ".mwdx_index.html.";
// Folders that keep gaining entries while they are deleted are given up after this many rounds.
constexpr int kRelistRounds = 3;

bool Fail(std::string* error, int code, const std::string& what) {
    if (error != nullptr) {
        *error = what + ": " + std::generic_category().message(code);
    }
    errno = code;
    return false;
}

std::string Join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path.append(name);
    return path;
}

bool AllDigits(std::string_view text, bool hex) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit && !(hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))) {
            return false;
        }
    }
    return true;
}

// Opens the folder `name` in `folder` without following a link. -1 with errno ELOOP when a link
// is there (or a folder that was something else a moment ago), ENOTDIR for a file, ENOENT for
// nothing.
int OpenChildFolder(int folder, const char* name) {
    const int fd = ::openat(folder, name, kFolderFlags);
    if (fd < 0 && errno == ENOTDIR) {
        struct stat st {};
        const bool swapped =
            ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode));
        errno = swapped ? ELOOP : ENOTDIR;
    }
    return fd;
}

std::string Cause(int code, const std::string& path) {
    return code == ELOOP ? "a link is in the way at " + path : "cannot open the folder " + path;
}

struct Entry {
    std::string name;
    bool folder = false; // as it was when listed; a removal checks again
};

// The entries of the folder open as `folder`, read through a description of its own so that the
// caller's position is untouched. 0 or the errno.
int ListEntries(int folder, std::vector<Entry>* entries) {
    entries->clear();
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        const int code = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        return code;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st {};
                isFolder = ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
            entries->push_back({std::string(name), isFolder});
        }
        errno = 0;
    }
    const int code = errno;
    ::closedir(dir);
    return code;
}

// One folder on the way down a removal.
struct Level {
    std::string name;
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<Entry> pending;
    int rounds = 0;
};

// Counts what a removal takes away, and tells whoever asked.
struct RemovalCount {
    const std::function<void(std::size_t removed)>* tell = nullptr;
    std::size_t removed = 0;

    void One() {
        ++removed;
        if (tell != nullptr && *tell) {
            (*tell)(removed);
        }
    }
};

// Removes the folder `name` in `parent` with everything below it. Only the folder being worked
// on is open; going back up, its ".." must still be the folder it was entered from, so the walk
// never leaves the subtree even when a part of it is moved away meanwhile. Links are removed,
// never followed. 0 or the errno of the first failure, with *where the path below `name`. Each
// entry removed is counted in *count, when given.
int RemoveTree(int parent, const std::string& name, std::string* where, RemovalCount* count = nullptr) {
    const auto counted = [count] {
        if (count != nullptr) {
            count->One();
        }
    };
    std::vector<Level> levels;
    UniqueFd current;
    auto enter = [&](int from, const std::string& child) {
        current.Reset(OpenChildFolder(from, child.c_str()));
        struct stat st {};
        if (!current.Valid() || ::fstat(current.Get(), &st) != 0) {
            return errno;
        }
        Level level{child, st.st_dev, st.st_ino, {}, 0};
        if (const int code = ListEntries(current.Get(), &level.pending); code != 0) {
            return code;
        }
        levels.push_back(std::move(level));
        return 0;
    };
    auto place = [&](const std::string& entry) {
        std::string path;
        for (std::size_t i = 1; i < levels.size(); ++i) {
            path = Join(path, levels[i].name);
        }
        *where = entry.empty() ? path : Join(path, entry);
    };

    if (const int code = enter(parent, name); code != 0) {
        place({});
        return code;
    }
    while (!levels.empty()) {
        Level& level = levels.back();
        if (!level.pending.empty()) {
            const Entry entry = std::move(level.pending.back());
            level.pending.pop_back();
            // Folders are entered first: removing an immutable one would fail before its content.
            if (!entry.folder) {
                if (::unlinkat(current.Get(), entry.name.c_str(), 0) == 0) {
                    counted();
                    continue;
                }
                if (errno == ENOENT) {
                    continue;
                }
                if (errno != EISDIR) {
                    const int code = errno;
                    place(entry.name);
                    return code;
                }
            }
            const int from = current.Get();
            UniqueFd keep(std::move(current)); // `enter` replaces `current`
            if (const int code = enter(from, entry.name); code != 0) {
                current = std::move(keep);
                if (code == ENOENT) {
                    continue;
                }
                // Listed as a folder, a file or a link now: removed as what it is.
                if (code == ENOTDIR || code == ELOOP) {
                    if (::unlinkat(current.Get(), entry.name.c_str(), 0) == 0) {
                        counted();
                        continue;
                    }
                    if (errno == ENOENT) {
                        continue;
                    }
                }
                const int failure = code == ENOTDIR || code == ELOOP ? errno : code;
                place(entry.name);
                return failure;
            }
            continue;
        }

        // Empty now: remove it from the folder above, checked to be the one it was entered from.
        const bool top = levels.size() == 1;
        UniqueFd above(top ? -1 : ::openat(current.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!top) {
            struct stat st {};
            const Level& expected = levels[levels.size() - 2];
            if (!above.Valid() || ::fstat(above.Get(), &st) != 0 || st.st_dev != expected.device ||
                st.st_ino != expected.inode) {
                place({});
                return above.Valid() ? ESTALE : errno;
            }
        }
        if (::unlinkat(top ? parent : above.Get(), level.name.c_str(), AT_REMOVEDIR) != 0) {
            const int code = errno;
            // Something was added meanwhile: look again, a few times at most.
            if (code == ENOTEMPTY && ++level.rounds < kRelistRounds &&
                ListEntries(current.Get(), &level.pending) == 0) {
                continue;
            }
            place({});
            return code;
        }
        counted();
        levels.pop_back();
        current = std::move(above);
    }
    return 0;
}

// Makes the path by path, outermost first, listing what it made: only for the Home Directory
// itself, which is taken as the user gave it.
bool MakeHomeByPath(const std::string& home, MadeDirectories* made) {
    std::vector<std::string> missing;
    std::string current = home;
    struct stat st {};
    while (!current.empty() && ::lstat(current.c_str(), &st) != 0) {
        missing.push_back(current);
        const auto slash = current.rfind('/');
        if (slash == std::string::npos) {
            break;
        }
        current = slash == 0 ? std::string("/") : current.substr(0, slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) == 0) {
            made->push_back(*it);
        } else if (errno != EEXIST) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string LexicallyNormal(std::string_view path) {
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        const std::string_view part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part); // a relative path may climb; "/.." is "/"
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string normal = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            normal += '/';
        }
        normal.append(parts[i]);
    }
    return normal.empty() ? "." : normal;
}

bool IsUsableHomeDirectory(std::string_view path) {
    return path.size() > 1 && path.front() == '/' && path.find('\0') == std::string_view::npos &&
           LexicallyNormal(path) == path;
}

std::string HomeDirectoryOf(std::string_view chosen) {
    while (chosen.size() > 1 && chosen.back() == '/') {
        chosen.remove_suffix(1);
    }
    return IsUsableHomeDirectory(chosen) ? std::string(chosen) : std::string();
}

bool IsAtOrBelow(std::string_view path, std::string_view directory) {
    if (directory == "/") {
        return !path.empty() && path.front() == '/';
    }
    return path.starts_with(directory) && (path.size() == directory.size() || path[directory.size()] == '/');
}

std::string ReserveTemporaryName(TemporaryKind kind, const std::function<bool(const std::string&)>& make) {
    // Several threads may reserve names at once (a transfer worker beside the interface thread).
    static std::atomic<unsigned> counter = 0;
    const std::string stem = std::string(kTemporaryPrefix) +
                             std::string(kTemporaryKinds[static_cast<std::size_t>(kind)]) + "." +
                             std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem + std::to_string(++counter);
        if (make(name)) {
            return name;
        }
        if (errno != EEXIST) {
            return {};
        }
    }
    return {};
}

std::string TemporaryName(TemporaryKind kind, std::uint64_t n) {
    return std::string(kTemporaryPrefix) + std::string(kTemporaryKinds[static_cast<std::size_t>(kind)]) + "." +
           std::to_string(::getpid()) + "." + std::to_string(n);
}

bool IsTemporaryName(std::string_view name) {
    if (name.starts_with(kPageTemporaryPrefix)) {
        const std::string_view suffix = name.substr(kPageTemporaryPrefix.size());
        return suffix.size() == 8 && AllDigits(suffix, true);
    }
    if (!name.starts_with(kTemporaryPrefix)) {
        return false;
    }
    name.remove_prefix(kTemporaryPrefix.size());
    for (const std::string_view kind : kTemporaryKinds) {
        if (name.size() > kind.size() && name.starts_with(kind) && name[kind.size()] == '.') {
            const std::string_view numbers = name.substr(kind.size() + 1);
            const auto dot = numbers.find('.');
            return dot != std::string_view::npos && AllDigits(numbers.substr(0, dot), false) &&
                   AllDigits(numbers.substr(dot + 1), false);
        }
    }
    return false;
}

bool IsTemporaryName(std::string_view name, TemporaryKind kind) {
    const std::string stem =
        std::string(kTemporaryPrefix) + std::string(kTemporaryKinds[static_cast<std::size_t>(kind)]) + ".";
    return name.starts_with(stem) && IsTemporaryName(name);
}

namespace {

// The walk every step starts with: the Home Directory, then parts[0..count) below it, each
// without following a link. With `made`, what is missing is made on the way (the Home Directory
// too) and listed there. On failure *error names the place.
class Walker final {
public:
    Walker(const std::string& home, const std::string& normalHome) : m_home(home), m_normalHome(normalHome) {}

    UniqueFd Open(const std::vector<std::string>& parts, std::size_t count, MadeDirectories* made,
                  std::string* error) const {
        UniqueFd folder(::open(m_home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.Valid() && errno == ENOENT && made != nullptr) {
            if (!MakeHomeByPath(m_home, made)) {
                const int code = errno;
                Fail(error, code, "cannot make the Home Directory " + m_home);
                return UniqueFd();
            }
            folder.Reset(::open(m_home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        if (!folder.Valid()) {
            const int code = errno;
            Fail(error, code, "cannot open the Home Directory " + m_home);
            return UniqueFd();
        }
        std::string path = m_normalHome;
        for (std::size_t i = 0; i < count; ++i) {
            path = Join(path, parts[i]);
            int next = OpenChildFolder(folder.Get(), parts[i].c_str());
            if (next < 0 && errno == ENOENT && made != nullptr) {
                if (::mkdirat(folder.Get(), parts[i].c_str(), 0777) == 0) {
                    made->push_back(path);
                } else if (const int code = errno; code != EEXIST) {
                    Fail(error, code, "cannot make the folder " + path);
                    return UniqueFd();
                }
                next = OpenChildFolder(folder.Get(), parts[i].c_str());
            }
            if (next < 0) {
                const int code = errno;
                Fail(error, code, Cause(code, path));
                return UniqueFd();
            }
            folder.Reset(next);
        }
        return folder;
    }

    std::string PathOf(const std::vector<std::string>& parts, std::size_t count) const {
        std::string path = m_normalHome;
        for (std::size_t i = 0; i < count; ++i) {
            path = Join(path, parts[i]);
        }
        return path;
    }

private:
    const std::string& m_home;
    const std::string& m_normalHome;
};

std::string NotInside(std::string_view path, const std::string& home) {
    return std::string(path) + " is not inside the Home Directory " + home;
}

} // namespace

HomeTree::HomeTree(std::string home) : m_home(std::move(home)), m_normal(LexicallyNormal(m_home)) {
    // Every step then refuses, as with no Home Directory at all.
    if (!IsUsableHomeDirectory(m_home)) {
        m_home.clear();
        m_normal.clear();
    }
}

std::vector<std::string> HomeTree::PartsBelow(std::string_view path) const {
    const std::string normal = LexicallyNormal(path);
    if (m_home.empty() || normal == m_normal || !IsAtOrBelow(normal, m_normal)) {
        return {};
    }
    std::vector<std::string> parts;
    std::string_view rest(normal);
    rest.remove_prefix(m_normal == "/" ? 1 : m_normal.size() + 1);
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        parts.emplace_back(rest.substr(0, slash));
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    }
    return parts;
}

bool HomeTree::MakeDirectoryPath(std::string_view path, MadeDirectories* made, std::string* error) const {
    const std::string normal = LexicallyNormal(path);
    if (m_home.empty() || !IsAtOrBelow(normal, m_normal)) {
        return Fail(error, EINVAL, NotInside(path, m_home));
    }
    const std::vector<std::string> parts = PartsBelow(normal);
    MadeDirectories madeHere;
    const UniqueFd folder = Walker(m_home, m_normal).Open(parts, parts.size(), &madeHere, error);
    if (!folder.Valid()) {
        const int code = errno;
        RemoveMadeDirectories(madeHere);
        errno = code;
        return false;
    }
    if (made != nullptr) {
        made->insert(made->end(), madeHere.begin(), madeHere.end());
    }
    return true;
}

bool HomeTree::RemoveMadeDirectories(MadeDirectories& made) const {
    bool allGone = true;
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        const std::vector<std::string> parts = PartsBelow(*it);
        int result = 0;
        if (parts.empty()) {
            result = ::rmdir(it->c_str()); // the Home Directory or a folder above it, made by path
        } else {
            const UniqueFd folder = Walker(m_home, m_normal).Open(parts, parts.size() - 1, nullptr, nullptr);
            result = folder.Valid() ? ::unlinkat(folder.Get(), parts.back().c_str(), AT_REMOVEDIR) : -1;
        }
        allGone = allGone && (result == 0 || errno == ENOENT);
    }
    made.clear();
    return allGone;
}

bool HomeTree::RenameNoReplace(std::string_view from, std::string_view to, MadeDirectories* madeParents,
                               std::string* error) const {
    const std::vector<std::string> fromParts = PartsBelow(from);
    const std::vector<std::string> toParts = PartsBelow(to);
    if (fromParts.empty() || toParts.empty()) {
        return Fail(error, EINVAL, NotInside(fromParts.empty() ? from : to, m_home));
    }
    const Walker walker(m_home, m_normal);
    const UniqueFd fromFolder = walker.Open(fromParts, fromParts.size() - 1, nullptr, error);
    if (!fromFolder.Valid()) {
        return false;
    }
    const char* fromName = fromParts.back().c_str();
    struct stat st {};
    if (::fstatat(fromFolder.Get(), fromName, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int code = errno;
        return Fail(error, code, "cannot rename " + walker.PathOf(fromParts, fromParts.size()));
    }
    MadeDirectories made;
    const UniqueFd toFolder = walker.Open(toParts, toParts.size() - 1, madeParents != nullptr ? &made : nullptr, error);
    if (!toFolder.Valid() ||
        ::renameat2(fromFolder.Get(), fromName, toFolder.Get(), toParts.back().c_str(), RENAME_NOREPLACE) != 0) {
        const int code = errno;
        if (toFolder.Valid()) {
            Fail(error, code,
                 "cannot rename " + walker.PathOf(fromParts, fromParts.size()) + " to " +
                     walker.PathOf(toParts, toParts.size()));
        }
        RemoveMadeDirectories(made);
        errno = code;
        return false;
    }
    if (madeParents != nullptr) {
        madeParents->insert(madeParents->end(), made.begin(), made.end());
    }
    return true;
}

bool HomeTree::DeletePath(std::string_view path, std::string* error) const {
    return DeleteAside(path, true, error);
}

bool HomeTree::DiscardPath(std::string_view path, std::string* error) const {
    return DeleteAside(path, false, error);
}

bool HomeTree::DeleteAside(std::string_view path, bool putBack, std::string* error) const {
    const std::vector<std::string> parts = PartsBelow(path);
    if (parts.empty()) {
        return Fail(error, EINVAL, NotInside(path, m_home));
    }
    const Walker walker(m_home, m_normal);
    const std::string target = walker.PathOf(parts, parts.size());
    std::string openError;
    const UniqueFd parent = walker.Open(parts, parts.size() - 1, nullptr, &openError);
    if (!parent.Valid()) {
        const int code = errno;
        // A folder missing on the way, or a file where one should be: nothing can be at the path.
        if (code == ENOENT || code == ENOTDIR) {
            return true;
        }
        if (error != nullptr) {
            *error = openError;
        }
        errno = code;
        return false;
    }
    const std::string& name = parts.back();
    struct stat st {};
    if (::fstatat(parent.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int code = errno;
        return code == ENOENT || Fail(error, code, "cannot delete " + target);
    }
    // Moved aside in one step first: what cannot be moved (a locked folder) is left whole rather
    // than half deleted.
    const std::string aside = ReserveTemporaryName(TemporaryKind::kDeleting, [&](const std::string& candidate) {
        return ::renameat2(parent.Get(), name.c_str(), parent.Get(), candidate.c_str(), RENAME_NOREPLACE) == 0;
    });
    if (aside.empty()) {
        const int code = errno;
        return code == ENOENT || Fail(error, code, "cannot delete " + target);
    }
    if (::unlinkat(parent.Get(), aside.c_str(), 0) == 0) {
        return true;
    }
    std::string where;
    int code = errno;
    if (code == EISDIR) {
        code = RemoveTree(parent.Get(), aside, &where);
        if (code == 0) {
            return true;
        }
    }
    const std::string failed = where.empty() ? target : Join(target, where);
    if (!putBack) {
        Fail(error, code,
             "cannot delete " + failed + "; what is left stays as " +
                 Join(walker.PathOf(parts, parts.size() - 1), aside));
        return true;
    }
    // What is left goes back under its own name.
    if (::renameat2(parent.Get(), aside.c_str(), parent.Get(), name.c_str(), RENAME_NOREPLACE) != 0) {
        return Fail(error, code,
                    "cannot delete " + failed + "; what is left stays as " +
                        Join(walker.PathOf(parts, parts.size() - 1), aside));
    }
    return Fail(error, code, "cannot delete " + failed);
}

bool HomeTree::RemoveForGood(std::string_view path, std::string* error,
                             const std::function<void(std::size_t removed)>& progress) const {
    const std::vector<std::string> parts = PartsBelow(path);
    if (parts.empty()) {
        return Fail(error, EINVAL, NotInside(path, m_home));
    }
    const Walker walker(m_home, m_normal);
    const std::string target = walker.PathOf(parts, parts.size());
    std::string openError;
    const UniqueFd parent = walker.Open(parts, parts.size() - 1, nullptr, &openError);
    if (!parent.Valid()) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR) {
            return true;
        }
        if (error != nullptr) {
            *error = openError;
        }
        errno = code;
        return false;
    }
    const std::string& name = parts.back();
    RemovalCount count{&progress};
    if (::unlinkat(parent.Get(), name.c_str(), 0) == 0) {
        count.One();
        return true;
    }
    if (errno == ENOENT) {
        return true;
    }
    int code = errno;
    std::string where;
    if (code == EISDIR) {
        code = RemoveTree(parent.Get(), name, &where, &count);
        if (code == 0 || code == ENOENT) {
            return true;
        }
    }
    return Fail(error, code, "cannot delete " + (where.empty() ? target : Join(target, where)));
}

int HomeTree::OpenFolder(std::string_view path) const {
    const std::string normal = LexicallyNormal(path);
    const std::vector<std::string> parts = PartsBelow(normal);
    if (parts.empty() && normal != m_normal) {
        errno = EINVAL;
        return -1;
    }
    return Walker(m_home, m_normal).Open(parts, parts.size(), nullptr, nullptr).Release();
}

std::vector<std::string> HomeTree::TemporaryNamesIn(std::string_view folder) const {
    std::vector<std::string> found;
    const std::string normal = LexicallyNormal(folder);
    std::vector<std::string> parts = PartsBelow(normal);
    if (parts.empty() && normal != m_normal) {
        return found;
    }
    const Walker walker(m_home, m_normal);
    const UniqueFd opened = walker.Open(parts, parts.size(), nullptr, nullptr);
    std::vector<Entry> entries;
    if (!opened.Valid() || ListEntries(opened.Get(), &entries) != 0) {
        return found;
    }
    for (const Entry& entry : entries) {
        if (IsTemporaryName(entry.name)) {
            found.push_back(Join(walker.PathOf(parts, parts.size()), entry.name));
        }
    }
    return found;
}

bool HomeTree::MoveFileNoReplace(std::string_view source, std::string_view destination, std::string* error,
                                 const TransferControl& control) const {
    return TransferInto(source, destination, error, control, true);
}

bool HomeTree::CopyFileNoReplace(std::string_view source, std::string_view destination, std::string* error,
                                 const TransferControl& control) const {
    return TransferInto(source, destination, error, control, false);
}

bool HomeTree::TransferInto(std::string_view source, std::string_view destination, std::string* error,
                            const TransferControl& control, bool move) const {
    const std::vector<std::string> parts = PartsBelow(destination);
    if (parts.empty()) {
        return Fail(error, EINVAL, NotInside(destination, m_home));
    }
    const Walker walker(m_home, m_normal);
    const UniqueFd folder = walker.Open(parts, parts.size() - 1, nullptr, error);
    return folder.Valid() && (move ? MoveFileIntoFolder : CopyFileIntoFolder)(source, folder.Get(),
                                                                              walker.PathOf(parts, parts.size() - 1),
                                                                              parts.back(), error, control);
}

namespace {

// One folder of the source and its copy, on the way down a folder copy.
struct CopyLevel {
    UniqueFd from;
    UniqueFd to;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path; // of the source folder, for messages
    std::vector<Entry> pending;
};

// Copies what is in the folder open as `from` into the empty folder open as `to`. The source is
// read by following links (a link that leads back up is refused), the copy made without ever
// following one. 0 or the errno, with *where the source path that failed.
int CopyTree(UniqueFd from, UniqueFd to, const std::string& fromPath, std::string* where) {
    std::vector<CopyLevel> levels;
    auto enter = [&](UniqueFd source, UniqueFd copy, std::string path) {
        struct stat st {};
        CopyLevel level{std::move(source), std::move(copy), 0, 0, std::move(path), {}};
        if (::fstat(level.from.Get(), &st) != 0) {
            return errno;
        }
        for (const CopyLevel& above : levels) {
            if (above.device == st.st_dev && above.inode == st.st_ino) {
                return ELOOP;
            }
        }
        level.device = st.st_dev;
        level.inode = st.st_ino;
        if (const int code = ListEntries(level.from.Get(), &level.pending); code != 0) {
            return code;
        }
        levels.push_back(std::move(level));
        return 0;
    };
    if (const int code = enter(std::move(from), std::move(to), fromPath); code != 0) {
        *where = fromPath;
        return code;
    }
    while (!levels.empty()) {
        CopyLevel& level = levels.back();
        if (level.pending.empty()) {
            levels.pop_back();
            continue;
        }
        const std::string name = std::move(level.pending.back().name);
        level.pending.pop_back();
        *where = Join(level.path, name);
        UniqueFd source(::openat(level.from.Get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (!source.Valid() || ::fstat(source.Get(), &st) != 0) {
            return errno;
        }
        if (S_ISDIR(st.st_mode)) {
            if (::mkdirat(level.to.Get(), name.c_str(), 0777) != 0) {
                return errno;
            }
            UniqueFd copy(OpenChildFolder(level.to.Get(), name.c_str()));
            if (!copy.Valid()) {
                return errno;
            }
            if (const int code = enter(std::move(source), std::move(copy), *where); code != 0) {
                return code;
            }
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            return EINVAL; // a pipe, a device or a socket has no content to copy
        }
        UniqueFd copy(::openat(level.to.Get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               st.st_mode & 0777));
        if (!copy.Valid()) {
            return errno;
        }
        if (const int code = CopyFileContent(source.Get(), copy.Get(), static_cast<std::uint64_t>(st.st_size));
            code != 0) {
            return code;
        }
        if (const int code = copy.Close(); code != 0) {
            return code;
        }
    }
    where->clear();
    return 0;
}

} // namespace

bool HomeTree::CopyFolderInto(std::string_view sourceView, std::string_view destinationDir, std::string* error) const {
    std::string source(sourceView);
    while (source.size() > 1 && source.back() == '/') {
        source.pop_back();
    }
    const std::string name = source.substr(source.rfind('/') + 1);
    const std::string normalDestination = LexicallyNormal(destinationDir);
    if (m_home.empty() || !IsAtOrBelow(normalDestination, m_normal)) {
        return Fail(error, EINVAL, NotInside(destinationDir, m_home));
    }
    if (name.empty() || name == "." || name == "..") {
        return Fail(error, EINVAL, source + " is not a folder name");
    }
    UniqueFd from(::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!from.Valid()) {
        const int code = errno;
        return Fail(error, code, "no folder at " + source);
    }
    const std::vector<std::string> parts = PartsBelow(normalDestination);
    const Walker walker(m_home, m_normal);
    const UniqueFd into = walker.Open(parts, parts.size(), nullptr, error);
    if (!into.Valid()) {
        return false;
    }
    const std::string target = Join(walker.PathOf(parts, parts.size()), name);
    struct stat st {};
    if (::fstatat(into.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return Fail(error, EEXIST, target + " already exists");
    }
    const std::string staging = ReserveTemporaryName(TemporaryKind::kFolderCopy, [&](const std::string& candidate) {
        return ::mkdirat(into.Get(), candidate.c_str(), 0777) == 0;
    });
    if (staging.empty()) {
        const int code = errno;
        return Fail(error, code, "cannot create a folder in " + walker.PathOf(parts, parts.size()));
    }
    UniqueFd copy(OpenChildFolder(into.Get(), staging.c_str()));
    std::string where = source;
    int code = copy.Valid() ? CopyTree(std::move(from), std::move(copy), source, &where) : errno;
    // On disk before it gets its name: whatever carries the name is whole, even after a power cut.
    if (code == 0 && ::syncfs(into.Get()) != 0) {
        code = errno;
        where = target;
    }
    if (code == 0 && ::renameat2(into.Get(), staging.c_str(), into.Get(), name.c_str(), RENAME_NOREPLACE) != 0) {
        code = errno;
        where = target;
    }
    if (code != 0) {
        std::string ignored;
        RemoveTree(into.Get(), staging, &ignored);
        return Fail(error, code, "cannot copy " + where + " into " + target);
    }
    return true;
}

} // namespace mwdx
