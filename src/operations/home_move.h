#pragma once

// A new Home Directory for a knowledge base that already has one: everything moved over, or the
// new folder taken as it is (the user copied it already). Either way the tree follows at once.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"
#include "store/journal.h"
#include "store/settings.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mwdx {

struct HomeMoveControl {
    // Entries moved of the total, on the moving thread.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // The program's own files, which stay where they are (the old Home Directory may be the
    // program's folder, whose js/ is the program's).
    ProgramFiles program;
    // The settings row written with the move's end (its ROOT_DIR becomes the new Home Directory),
    // so that the row is written once; nullptr: ROOT_DIR alone.
    const SettingsRecord* settings = nullptr;
};

// What of the Home Directory belongs to the knowledge base: the top-level catalogs' folders and
// documents' files, js/, the index page and its backup, the trash. Names, not paths; only those there.
std::vector<std::string> KnowledgeBaseEntries(const CatalogModel& catalog, const std::string& home);

// The entries of KnowledgeBaseEntries that a move carries over: all but the program's own files.
std::vector<std::string> EntriesToMove(const CatalogModel& catalog, const std::string& home,
                                       const ProgramFiles& program);

// Moves every entry of KnowledgeBaseEntries from `oldHome` into `newHome` (made when missing),
// but the program's own files, never replacing anything (a name already in `newHome` refuses the
// move before anything moves: text::kNameTakenOnDisk; so does an entry that holds the program's files:
// text::kCannotMoveProgramFiles), by renaming or, across file systems, by a copy published whole and then the original
// set aside and removed. Refused first: a Home Directory that is not usable, old or new (text::kHomeNotUsable), one
// inside the other (text::kHomeInsideOther). Then a mark naming `oldHome` is left in `newHome` and the move journalled;
// when either cannot be written, nothing is left behind (text::kChangeNotSaved, or text::kAddFailed for the mark). When
// one entry cannot be moved, the journal records that the move turns back, those already moved go back, ROOT_DIR stays,
// and the failure is reported: every file is whole in at least one of the two places under its own name, and the rows
// point at it (text::kHomeMoveFailed); what could not be put back is left to the next start, its entry in the journal
// (text::kHomeMoveUnfinished). When all are moved, ROOT_DIR becomes `newHome` (with the rest of control.settings) in
// the same transaction as the journal's end and the tree's paths follow; when that transaction fails, the files and the
// tree stay in the new place and the next start writes ROOT_DIR (done, text::kChangeNotSaved).
OpResult MoveHomeOperation(CatalogModel& catalog, const std::string& oldHome, const std::string& newHome,
                           const HomeMoveControl& control = {});

// The tree's paths follow a new Home Directory (the Root Node's path, and every path below it).
void RehomeCatalog(CatalogModel& catalog, const std::string& newHome);

inline constexpr const char* kJournalHomeMove = "home-move";

// The first step of a move from `oldHome` into the folder `newHome`: a mark naming `oldHome`,
// flushed to disk under a temporary name in `newHome`. Its path, or empty when it cannot be
// written (*error then says why).
std::string WriteMoveMark(const std::string& oldHome, const std::string& newHome, std::string* error);

// True when the folder `entry.toPath` holds the mark a move from `entry.fromPath` left there, at
// `entry.asidePath`: the sign that this program started that move.
bool IsMoveMarkOf(const JournalEntry& entry);

// How crash recovery left a Home Directory move.
enum class HomeMoveEnd {
    kMovedOn, // all in the new folder: the caller sets ROOT_DIR with the entry's end, then EndHomeMove
    kPutBack, // all back in the old folder: the caller ends the entry, then EndHomeMove
    kSplit,   // some in each: the entry stays for the next start
};

// For crash recovery of `entry`, checked before: going forward, moves on what is left in the old
// folder (the copy standing in the new one is whole, and the original goes); when that fails, or
// the move was already turning back, records the turn and puts everything back (the copy standing
// in the old folder is whole, and the one in the new goes).
HomeMoveEnd FinishHomeMove(const std::vector<std::string>& names, JournalEntry& entry);

// Once the entry has ended: the mark goes.
void EndHomeMove(const JournalEntry& entry);

// The marks in the Home Directory `home` that none of `entries` names: left by a move into it
// that ended just before its mark could go. They go now.
void RemoveEndedMoveMarks(const std::string& home, const std::vector<JournalEntry>& entries);

} // namespace mwdx
