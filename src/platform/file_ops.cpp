#include "platform/file_ops.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace mwdx {

namespace {

std::string WithoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

} // namespace

std::string ReserveTemporaryName(const std::string& directory, std::string_view stem,
                                 const std::function<bool(const std::string&)>& make) {
    // Several threads may reserve names at once (a transfer worker beside the interface thread).
    static std::atomic<unsigned> counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name =
            directory + "/." + std::string(stem) + "." + std::to_string(::getpid()) + "." + std::to_string(++counter);
        if (make(name)) {
            return name;
        }
        if (errno != EEXIST) {
            return {};
        }
    }
    return {};
}

bool PathExists(std::string_view path) {
    struct stat st {};
    return !path.empty() && ::lstat(std::string(path).c_str(), &st) == 0;
}

bool MakeDirectoryPath(std::string_view rawPath) {
    const std::string path = WithoutTrailingSlashes(rawPath);
    if (path.empty()) {
        return false;
    }
    // Walk outwards to the first existing ancestor, then create inwards; no recursion, so a
    // path of any depth costs one level of stack.
    std::vector<std::string> missing;
    std::string current = path;
    while (!PathExists(current)) {
        missing.push_back(current);
        const auto slash = current.rfind('/');
        if (slash == std::string::npos) {
            break; // a relative path whose first part is missing too: create from there
        }
        current = slash == 0 ? std::string("/") : current.substr(0, slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) != 0 && !(errno == EEXIST && PathExists(*it))) {
            return false;
        }
    }
    return true;
}

bool RenameNoReplace(std::string_view from, std::string_view to) {
    return ::renameat2(AT_FDCWD, std::string(from).c_str(), AT_FDCWD, std::string(to).c_str(), RENAME_NOREPLACE) == 0;
}

bool DeletePath(std::string_view path) {
    const std::string target = WithoutTrailingSlashes(path);
    if (target.empty() || !PathExists(target)) {
        return !target.empty();
    }
    // Moved aside in one step first: what cannot be moved (a locked folder) is left whole rather
    // than half deleted. What then fails part-way is put back under its own name.
    const auto slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    const std::string aside = ReserveTemporaryName(directory, "marrowdex.deleting", [&](const std::string& candidate) {
        return RenameNoReplace(target, candidate);
    });
    if (aside.empty()) {
        return false;
    }
    std::error_code ec;
    fs::remove_all(fs::path(aside), ec);
    if (ec || PathExists(aside)) {
        RenameNoReplace(aside, target);
        return false;
    }
    return true;
}

bool CopyFolderInto(std::string_view source, std::string_view destinationDir, std::string* error) {
    auto fail = [error](std::string reason) {
        if (error != nullptr) {
            *error = std::move(reason);
        }
        return false;
    };
    const fs::path from(WithoutTrailingSlashes(source));
    std::error_code ec;
    if (!fs::is_directory(from, ec)) {
        return fail("no folder at " + from.string());
    }
    const std::string into = WithoutTrailingSlashes(destinationDir);
    const fs::path target = fs::path(into) / from.filename();
    if (PathExists(target.string())) {
        return fail(target.string() + " already exists");
    }
    std::string staging = into + "/." + from.filename().string() + ".XXXXXX";
    if (::mkdtemp(staging.data()) == nullptr) {
        return fail("cannot create a folder in " + into + ": " + std::generic_category().message(errno));
    }
    // mkdtemp makes the folder private (0700); the copy gets the mode a new folder would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(staging.c_str(), 0777 & ~mask);
    fs::copy(from, staging, fs::copy_options::recursive, ec);
    if (!ec && ::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        ec = std::error_code(errno, std::generic_category());
    }
    if (ec) {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        return fail("cannot copy " + from.string() + " to " + target.string() + ": " + ec.message());
    }
    return true;
}

bool CreateDesktopShortcut(std::string_view target, std::string_view linkPath) {
    const std::string link(linkPath);
    const auto slash = link.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : link.substr(0, slash == 0 ? 1 : slash);
    const std::string targetText(target);
    const std::string temporary = ReserveTemporaryName(directory, "marrowdex.lnk", [&](const std::string& name) {
        return ::symlink(targetText.c_str(), name.c_str()) == 0;
    });
    if (temporary.empty()) {
        return false;
    }
    if (::rename(temporary.c_str(), link.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace mwdx
