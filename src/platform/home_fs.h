#pragma once

// Every step on disk below the Home Directory: making folders, renaming without replacing,
// deleting for good, placing a document's file and copying a folder in.
//
// Each step opens the Home Directory as the user gave it, then walks down one name at a time
// without ever following a link, and acts relative to the folder it reached. A link swapped in
// anywhere below the Home Directory between a check and a step therefore stops the step (errno
// ELOOP) instead of leading it outside.
//
// The Home Directory must be usable (IsUsableHomeDirectory); paths are absolute and must lie
// strictly inside it once "." and ".." are resolved lexically; anything else is refused with
// EINVAL before the disk is touched. Every step returns false with errno set when it cannot
// and, when `error` is given, a sentence naming the step and the path.

#include "platform/file_transfer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mwdx {

// The path with "." parts, repeated and trailing '/' removed and ".." resolved against the
// parts before it, without looking at the disk ("/a/./b/../c/" is "/a/c").
std::string LexicallyNormal(std::string_view path);

// True for a value the Home Directory may take: an absolute path, lexically normal (no ".", ".."
// or empty part, no trailing '/'), other than "/" itself. Anything else would put the knowledge
// base somewhere else than it names: under the working folder, at the file system's root, or in a
// folder that only a ".." passes through.
bool IsUsableHomeDirectory(std::string_view path);

// The Home Directory a folder chosen by the user stands for: the path without the '/' a folder
// chooser may leave at its end. Empty when that is not usable (IsUsableHomeDirectory): the one
// rule every choice of a Home Directory goes through.
std::string HomeDirectoryOf(std::string_view chosen);

// True when `path` equals `directory` or lies below it; both lexically normal.
bool IsAtOrBelow(std::string_view path, std::string_view directory);

// The names the program gives what it keeps only for the length of one step. All are hidden,
// ".marrowdex.<kind>.<process id>.<n>", so a leftover of a crash is easy to recognise.
enum class TemporaryKind {
    kDeleting,   // a file or folder moved aside to be deleted
    kFileCopy,   // a document being copied in, where the file system has no unnamed files
    kFolderCopy, // a folder being copied in, published once complete
    kLink,       // the desktop shortcut before it replaces the previous one
    kMoveMark,   // a Home Directory move's mark in the folder it moves into, naming where from
};

// A new temporary name of that kind, reserved by `make`, which creates something under it and
// returns false with errno EEXIST when the name is taken. Empty when `make` fails otherwise
// (errno then says why) or no free name is found.
std::string ReserveTemporaryName(TemporaryKind kind, const std::function<bool(const std::string&)>& make);

// The temporary name of that kind numbered `n` by the caller (a command's journal entry, which
// records it before the step that uses it), with this process's id.
std::string TemporaryName(TemporaryKind kind, std::uint64_t n);

// True for a name (one part, not a path) that the program gives its temporary files and folders,
// including the index page's own (".mwdx_index.html.<8 hex digits>"): what a crash can leave.
bool IsTemporaryName(std::string_view name);

// True for a temporary name of that kind.
bool IsTemporaryName(std::string_view name, TemporaryKind kind);

// Folders a step made, outermost first, as paths: what a command that fails afterwards removes.
using MadeDirectories = std::vector<std::string>;

// One Home Directory and the steps below it. Cheap to make: nothing stays open between steps.
class HomeTree final {
public:
    explicit HomeTree(std::string home);

    const std::string& Path() const { return m_home; }

    // The names from the Home Directory down to `path`; empty when `path` is not strictly inside.
    std::vector<std::string> PartsBelow(std::string_view path) const;
    bool Contains(std::string_view path) const { return !PartsBelow(path).empty(); }

    // Makes the folder at `path` and any missing folders above it, the Home Directory itself
    // included (`path` may be the Home Directory). True when a folder, not a link, is there
    // afterwards. Adds what it made to *made; on failure removes it again.
    bool MakeDirectoryPath(std::string_view path, MadeDirectories* made = nullptr, std::string* error = nullptr) const;

    // Removes the folders listed, innermost first, as long as they are empty, and clears the list.
    // True when all of them are gone.
    bool RemoveMadeDirectories(MadeDirectories& made) const;

    // Renames `from` to `to` in one step, never replacing anything at `to` (EEXIST then), `from`
    // itself a link or not. With `madeParents`, missing folders above `to` are made first and
    // listed there (removed again if the rename fails); without, they must exist.
    bool RenameNoReplace(std::string_view from, std::string_view to, MadeDirectories* madeParents = nullptr,
                         std::string* error = nullptr) const;

    // Deletes what is at `path` for good: a file, a link (never what it points to) or a folder
    // with everything below it. The whole of it is first moved aside under a temporary name in one
    // step, so what cannot be moved stays whole; the removal then never follows a link and never
    // leaves that folder. If the removal fails part-way, what is left goes back under its own name.
    // True when nothing is left at `path` (also when nothing was there).
    bool DeletePath(std::string_view path, std::string* error = nullptr) const;

    // Deletes what is at `path` for good, moved aside under a temporary name in one step first as
    // DeletePath does; but what a failure part-way leaves stays under the temporary name and never
    // goes back under its own: for one of two copies, where a partial tree under the name would
    // pass for whole. False when it cannot be moved aside (it is then whole where it was); true once
    // it is aside, even when some of it could not be removed (*error then says so).
    bool DiscardPath(std::string_view path, std::string* error = nullptr) const;

    // The two halves of DeletePath, for a command that records the first before the second:
    // what is at `path` is removed for good, never following a link and never leaving it, with
    // nothing put back when that fails part-way (the caller knows where it belongs). True when
    // nothing is left (also when nothing was there). `progress` hears of each entry removed, with
    // the count so far.
    bool RemoveForGood(std::string_view path, std::string* error = nullptr,
                       const std::function<void(std::size_t removed)>& progress = {}) const;

    // The folder at `path` (the Home Directory or below it) opened for further steps relative to
    // it, reached without following a link; -1 with errno set when it cannot be.
    int OpenFolder(std::string_view path) const;

    // The names in the folder `folder` that IsTemporaryName recognises, as paths; empty when
    // there are none or the folder cannot be read.
    std::vector<std::string> TemporaryNamesIn(std::string_view folder) const;

    // The document transfer into the folder of `destination`, as MoveFileNoReplace and
    // CopyFileNoReplace (file_transfer.h) do, with every step on the destination's side relative
    // to that folder. `source` lies anywhere and is taken by its path.
    bool MoveFileNoReplace(std::string_view source, std::string_view destination, std::string* error = nullptr,
                           const TransferControl& control = {}) const;
    bool CopyFileNoReplace(std::string_view source, std::string_view destination, std::string* error = nullptr,
                           const TransferControl& control = {}) const;

    // Copies the folder `source` (anywhere, links in it followed) with everything below it into
    // `destinationDir` (the Home Directory or a folder below it), which gains a folder of the
    // source's name. The copy is made under a temporary name and renamed into place once
    // complete and flushed to disk, so a failure or a crash leaves nothing under the final name.
    // Refuses (EEXIST) when something already exists there; anything but files and folders in the
    // source fails the copy.
    bool CopyFolderInto(std::string_view source, std::string_view destinationDir, std::string* error = nullptr) const;

private:
    bool DeleteAside(std::string_view path, bool putBack, std::string* error) const;
    bool TransferInto(std::string_view source, std::string_view destination, std::string* error,
                      const TransferControl& control, bool move) const;

    std::string m_home;
    std::string m_normal;
};

} // namespace mwdx
