#pragma once

// Moving a catalog or a document under another catalog (or to the top level): its folder or file
// moves on disk without replacing anything, and its row and every row below it follow.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <string>

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

} // namespace mwdx
