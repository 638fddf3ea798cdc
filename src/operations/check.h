#pragma once

// The health check: the store, the tree made from it and the Home Directory compared, every
// disagreement a finding. It only reads.

#include "catalog/loader.h"
#include "catalog/model.h"
#include "operations/program_files.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mwdx {

enum class FindingKind {
    kMissing,       // a node whose file or folder is not there
    kWrongType,     // a document whose path is a folder, or a catalog whose path is a file
    kUntracked,     // a file or folder under the Home Directory that no node owns
    kUnplaced,      // a row that could not be placed in the tree
    kWrongLevel,    // a stored PATH_LEVEL that disagrees with the tree
    kSharedPath,    // a node on the same path as another
    kBadName,       // a name that cannot be a file or folder name here
    kUnfinished,    // a command a crash left in the journal
    kScriptFolder,  // the index page's js folder missing or incomplete
    kRefusedEntry,  // a journal entry that does not fit the knowledge base, never carried out
    kHomeDirectory, // a Home Directory that is not usable: nothing on disk was looked at
    kNotIndexed,    // a document the content index does not know (looked for only where there is one)
    kIndexStale,    // a document whose file changed since its text was indexed
    kTrash,         // the trash disagrees with its rows: files missing, files no entry owns, not a folder
};
inline constexpr int kFindingKinds = 14;

// The string id of the kind's title.
int FindingTitle(FindingKind kind);

struct Finding {
    FindingKind kind = FindingKind::kMissing;
    NodeId nodeId = 0;  // 0 when no node is concerned
    std::string path;   // the path concerned; for an unplaced row, its name
    std::string detail; // English, for the record: the reason, the stored value, ...
    std::int64_t entryId = 0; // the journal entry of an unfinished or refused command; the trash entry
};

struct CheckReport {
    std::vector<Finding> findings; // grouped by kind, in the order of FindingKind
    std::size_t nodes = 0;         // placed nodes
    std::size_t entries = 0;       // files and folders seen under the Home Directory
    bool Healthy() const { return findings.empty(); }
    std::size_t Count(FindingKind kind) const;
};

// Compares `catalog` (loaded with `load`'s report) and the open store's journal with the Home
// Directory `home`. The js folder in `program`'s folder holds the files the Home Directory's copy
// must all have (no folder: only the page's script and style sheet are looked for); `program`'s
// files are never untracked, and a folder that holds them is looked into but not reported. A Home
// Directory that is not usable is itself the finding, and the disk is not looked at.
CheckReport CheckKnowledgeBase(const CatalogModel& catalog, const LoadReport& load, const std::string& home,
                               const ProgramFiles& program);

// The same for the open store as it is now: loads it into a catalog of its own first. The Home
// Directory is the Settings'. `load` (if given) receives what that load found, which the repairs
// of rows take. Runs on any thread: it reads the store and the disk and touches no shared tree.
CheckReport CheckOpenStore(const ProgramFiles& program, LoadReport* load = nullptr);

// What the Check button runs, all of it on whatever thread the caller likes (the window's stays
// free to show the progress window): the journal's entries left for later removed first (a
// command complete but for its entry is not unfinished), CheckOpenStore, and the number of
// findings remembered for the next start (a store that cannot take it costs only that reminder).
CheckReport CheckAndRemember(const ProgramFiles& program, LoadReport* load = nullptr);

} // namespace mwdx
