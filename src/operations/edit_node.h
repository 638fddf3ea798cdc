#pragma once

// Changing a node's name and comment. A catalog's folder follows its new name; the row, the node
// and its paths change only once the folder has, and the folder goes back if the row cannot.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <string>

namespace mwdx {

// Nothing happens (done, no message) when both texts are as stored, as the user saw them: a name
// with white space around it, a comment with other line ends. A new name is trimmed and checked
// (text::kTypeCatalogName or text::kChooseDocument, text::kNameNotUsable, text::kCatalogNameTaken; another node already
// at the new path: text::kCatalogNameTaken); a rename that would carry away another node's files (text::kFilesKept) or
// `program`'s files (text::kCannotMoveProgramFiles), or that the disk refuses (text::kRenameFailed), changes nothing; a
// row that cannot be written changes nothing either (text::kChangeNotSaved), its folder renamed back.
// A catalog whose folder is missing takes the new name without a step on disk, its path then naming
// whatever is there: an empty folder is taken, a file refused (text::kNameTakenOnDisk), and a folder
// with something in it only when `useUntrackedFolder` says the user agreed; without that,
// text::kUseUntrackedFolder and nothing changes (the window asks, and calls again with the answer).
OpResult EditNodeOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node,
                           const std::string& typedName, const std::string& typedComment,
                           const ProgramFiles& program = {}, bool useUntrackedFolder = false);

} // namespace mwdx
