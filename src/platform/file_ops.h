#pragma once

// File system operations the commands share: the Linux stand-ins for creating directory paths,
// copying a folder and placing a link, with the guarantees the program relies on.

#include <functional>
#include <string>
#include <string_view>

namespace mwdx {

// True when anything (file, directory, link, even a dangling one) exists at the path.
bool PathExists(std::string_view path);

// A hidden name in `directory` ("/.stem.pid.n") that nothing uses yet, reserved by `make`, which
// creates something under it and returns false with errno EEXIST when the name is taken. Empty
// when `make` fails otherwise (errno then says why) or no free name is found.
std::string ReserveTemporaryName(const std::string& directory, std::string_view stem,
                                 const std::function<bool(const std::string&)>& make);

// Creates the directory and any missing parents, outermost first. True when something already
// existed at the path (a file counts) or the directories were made; false otherwise, with the
// directories made before the failure left in place.
bool MakeDirectoryPath(std::string_view path);

// Renames `from` to `to` in one step, never replacing anything at `to` (EEXIST then). False with
// errno set when it cannot; nothing changes then.
bool RenameNoReplace(std::string_view from, std::string_view to);

// Deletes what is at the path for good: a file, a link (not what it points to) or a directory
// with everything below it. True when nothing is left there (also when nothing was there).
bool DeletePath(std::string_view path);

// Copies the directory `source` with everything below it into `destinationDir`, which gains a
// directory of the source's name. The copy is made under a hidden temporary name and renamed
// into place once complete, so a failure leaves nothing under the final name. Refuses (false)
// when something already exists there. On failure *error (if given) says why.
bool CopyFolderInto(std::string_view source, std::string_view destinationDir, std::string* error = nullptr);

// Makes `linkPath` a symbolic link to `target`, replacing whatever link or file was there in one
// step (a new link under a temporary name, then rename). False when it cannot.
bool CreateDesktopShortcut(std::string_view target, std::string_view linkPath);

} // namespace mwdx
