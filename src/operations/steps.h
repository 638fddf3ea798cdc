#pragma once

// Small pieces the operations share.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace mwdx {

// What lstat finds at a path.
enum class PathKind { kNothing, kFolder, kEmptyFolder, kOther };
PathKind WhatIsAt(std::string_view path);

// Whether anything is at paths below folders, for many paths at once: a folder read once (when
// many of the paths lie in it) answers for all of its names; any other path is looked at alone
// (WhatIsAt). A folder that cannot be read answers path by path too.
class PlaceLooks final {
public:
    // Reads `folder` now, to answer for the paths directly in it.
    void ReadFolder(const std::string& folder);
    // True when WhatIsAt(`path`) would not say kNothing.
    bool Taken(const std::string& path) const;

private:
    std::unordered_map<std::string, std::unordered_set<std::string>> m_folders;
};

// The outermost folder on the way from `home` down to `path` that does not exist yet ("" when
// `path` exists): what making `path` would create first, and so what undoing it may remove.
std::string OutermostMissing(std::string_view home, std::string_view path);

// A number no earlier call in this process gave, nor any process with the same id before it:
// for temporary names a step records before it makes them.
std::uint64_t UniqueNumber();

// The folder part of a path ("" for a bare name).
std::string FolderOf(std::string_view path);

// Removes the empty folders from `path` up to and including `outermost` (a folder at or above it
// that a command made), stopping at the first one that is not empty or not there.
class HomeTree;
void RemoveEmptyFoldersUpTo(const HomeTree& home, std::string_view path, std::string_view outermost);

} // namespace mwdx
