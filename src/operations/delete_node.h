#pragma once

// Deleting a node with everything below it: its rows, its nodes and, when asked, its files.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <cstddef>
#include <functional>
#include <string>

namespace mwdx {

class HomeTree;

// Removes for good the files of a deleted node, put aside at `asidePath` inside the Home
// Directory of `tree`; `entries` is about how many files and folders that is (the nodes its
// subtree held). True when nothing is left; otherwise *error says what stays. The window runs it
// behind its progress window, on a worker thread: it touches neither the store nor the catalog.
// An empty one runs RemoveDeletedFiles at once, on the caller's thread.
using FileRemovalStep =
    std::function<bool(const HomeTree& tree, const std::string& asidePath, std::size_t entries, std::string* error)>;

// What a FileRemovalStep does, on whatever thread runs it: what is at `asidePath` removed for
// good, never following a link; `progress` hears of the entries removed of about `entries` (a
// total that grows with what is found beyond it).
bool RemoveDeletedFiles(const HomeTree& tree, const std::string& asidePath, std::size_t entries,
                        const std::function<void(std::size_t done, std::size_t total)>& progress, std::string* error);

// What a delete may do with a node's files, looked at while the whole tree is still there.
struct DeletedFiles {
    std::string path;          // the node's path
    bool inUse = false;        // another node lives at or below it
    bool present = false;      // something is there
    bool programFiles = false; // it is or holds the program's own files
    bool inside = false;       // strictly inside the Home Directory, no link leading out

    // The files may go with the node.
    bool MayGo() const { return present && !inUse && !programFiles && inside; }
    // A delete done with its files kept: why they stay (text::kFilesKept, text::kFilesKeptForProgram,
    // text::kSomeFilesNotDeleted when they lie outside `home`), no message when there were none.
    OpResult Kept(const std::string& home) const;
};

// The files of `node` as a delete with `withFiles` meets them (nothing looked at on disk without).
DeletedFiles LookAtDeletedFiles(const CatalogModel& catalog, const std::string& home, const CatalogNode& node,
                                bool withFiles, const ProgramFiles& program);

// Deletes the rows of `node`'s subtree in one transaction (text::kChangeNotSaved and nothing changes when they
// cannot be), then its nodes. With `deleteFiles`, also what is at its path: moved aside first,
// the move recorded in the journal with the rows, then removed for good by `removal` (the slow
// step, which may run on another thread), and the journal's end written after. The files stay
// when another node still uses them (done, text::kFilesKept), when they are or hold `program`'s files (done,
// text::kFilesKeptForProgram), when they lie outside `home` or cannot be moved aside (done, text::kSomeFilesNotDeleted,
// whole under their own name). What `removal` cannot remove goes back under its own name (done,
// text::kSomeFilesNotDeleted); failing that, the journal keeps it for the next start. A crash at any moment after the
// rows leaves the next start to finish removing what was put aside.
OpResult DeleteNodeOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node, bool deleteFiles,
                             const ProgramFiles& program = {}, const FileRemovalStep& removal = {});

} // namespace mwdx
