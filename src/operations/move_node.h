#pragma once

// Moving a catalog or a document under another catalog (or to the top level): its folder or file
// moves on disk without replacing anything, and its row and every row below it follow.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mwdx {

// `target` is the catalog to move into; a document stands for its catalog, nullptr or the Root
// Node for the top level. Moving to where the node already is changes nothing. Refused with
// nothing changed: into the node itself or below it (text::kMoveIntoItself), onto a name taken there
// (text::kCatalogNameTaken for a catalog, text::kFileNameTaken for a document), onto the index page's own names at the
// top level (text::kNameNotUsable), when another node lives in the node's folder (text::kFilesKept), when its folder or
// file is or holds `program`'s files (text::kCannotMoveProgramFiles), when a path lies outside `home`
// (text::kSomeFilesNotDeleted), when the store cannot be written (text::kChangeNotSaved). Then the move is journalled,
// made on disk (a rename; a copy and a removal where the Home Directory spans file systems) and written in one
// transaction with the journal's end; a failed disk step changes nothing (text::kMoveFailed), a failed save moves the
// folder or file back (text::kChangeNotSaved), the turn recorded in the journal first where the store takes it. Across
// file systems the copy is published whole before the original is set aside and removed, so whatever stands under
// either name is whole at every moment.
OpResult MoveNodeOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node, CatalogNode* target,
                           const ProgramFiles& program = {});

// The checks of MoveNodeOperation alone, changing nothing: done when `node` may move into `target`
// (*stays, if given, set when it is there already and the move would change nothing), otherwise
// refused with the message the move would give. Cheap enough to ask while a drag moves over the
// tree: it looks at the new siblings' names through their index and at one place on disk.
OpResult CheckMove(const CatalogModel& catalog, const std::string& home, const CatalogNode& node,
                   const CatalogNode* target, const ProgramFiles& program = {}, bool* stays = nullptr);

// How far a move of many nodes has got: `done` of `total` nodes on disk.
using MoveProgress = std::function<void(std::size_t done, std::size_t total)>;

// The checks of MoveNodesOperation alone, changing nothing: for each of TopNodes(`nodes`) that may not
// move into `target`, the refusal CheckMove gives (the Root Node: text::kRootDoesNotMove), and for a
// node whose name an earlier one of them takes at the target, text::kCatalogNameTaken or
// text::kFileNameTaken. Empty when all may go. Nodes already in the target are not refusals; *going
// (if given) is how many of them would move.
std::vector<NodeRefusal> CheckMoveNodes(const CatalogModel& catalog, const std::string& home,
                                        const std::vector<CatalogNode*>& nodes, const CatalogNode* target,
                                        const ProgramFiles& program = {}, std::size_t* going = nullptr);

// Moves every node of TopNodes(`nodes`) that CheckMoveNodes does not refuse into `target`, as
// MoveNodeOperation moves one, all in one command: each folder or file moved on disk is journalled
// first (all entries in one transaction), the rows of every node written in one transaction with the
// journal's end, so that a crash at any moment is finished or undone node by node at the next start.
// The refused come back in `refused` with nothing done to them; nodes already in the target stay.
// `acted` counts the nodes moved. A disk step that fails puts back what was moved before it and
// changes nothing (text::kMoveFailed); so does a journal or a save that fails (text::kChangeNotSaved).
// `progress` hears of each node moved on disk.
ManyNodesResult MoveNodesOperation(CatalogModel& catalog, const std::string& home,
                                   const std::vector<CatalogNode*>& nodes, CatalogNode* target,
                                   const ProgramFiles& program = {}, const MoveProgress& progress = {});

} // namespace mwdx
