#pragma once

// File system operations outside the Home Directory: whether a path exists, and the desktop's
// shortcut to the index page. Everything below the Home Directory goes through home_fs.h.

#include <string_view>

namespace mwdx {

// True when anything (file, directory, link, even a dangling one) exists at the path.
bool PathExists(std::string_view path);

// Makes `linkPath` a symbolic link to `target`, replacing whatever link or file was there in one
// step (a new link under a temporary name, then rename). False when it cannot.
bool CreateDesktopShortcut(std::string_view target, std::string_view linkPath);

} // namespace mwdx
