#pragma once

// A new Home Directory for a knowledge base that already has one: everything moved over, or the
// new folder taken as it is (the user copied it already). Either way the tree follows at once.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

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
};

// What of the Home Directory belongs to the knowledge base: the top-level catalogs' folders and
// documents' files, js/, the index page and its backup. Names, not paths; only those there.
std::vector<std::string> KnowledgeBaseEntries(const CatalogModel& catalog, const std::string& home);

// Moves every entry of KnowledgeBaseEntries from `oldHome` into `newHome` (made when missing),
// but the program's own files, never replacing anything (a name already in `newHome` refuses the
// move before anything moves: 196; so does an entry that holds the program's files: 333), by
// renaming or, across file systems, by a copy published whole and then the original removed.
// Journalled. When one entry cannot be moved, those already moved go back, ROOT_DIR stays, and
// the failure is reported (231): every file is in exactly one of the two places, and the rows
// point at it. When all are moved, ROOT_DIR becomes `newHome` in the same transaction as the
// journal's end and the tree's paths follow. A Home Directory that is not usable, old or new, is
// refused first (338).
OpResult MoveHomeOperation(CatalogModel& catalog, const std::string& oldHome, const std::string& newHome,
                           const HomeMoveControl& control = {});

// The tree's paths follow a new Home Directory (the Root Node's path, and every path below it).
void RehomeCatalog(CatalogModel& catalog, const std::string& newHome);

// For crash recovery: moves what is left in `oldHome` on, or back when it cannot; true when the
// knowledge base is whole in `newHome` afterwards (the caller then sets ROOT_DIR).
bool FinishHomeMove(const std::vector<std::string>& names, const std::string& oldHome, const std::string& newHome);

inline constexpr const char* kJournalHomeMove = "home-move";

} // namespace mwdx
