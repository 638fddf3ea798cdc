#pragma once

// Adding a document: its file moved or copied into its catalog's folder, and its row, both or
// neither.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <functional>
#include <string>
#include <vector>

namespace mwdx {

class HomeTree;

struct NewDocument {
    CatalogNode* parent = nullptr; // the catalog; nullptr or the Root Node: the top level
    std::string source;            // the chosen file's full path
    std::string name;              // UTF-8, as typed: stored trimmed
    std::string comment;
    bool move = false; // move the file in (the original goes), rather than copy it
    // The program's own files (its folder, the store and SQLite's files beside it): never moved.
    ProgramFiles program;
};

// Moves (`move`) or copies `source` to `destination` inside the Home Directory of `tree`, never
// replacing anything and never leaving a partial file: true when the file is there. The window
// runs it behind its progress window; an empty one runs HomeTree's own transfer at once.
using TransferStep = std::function<bool(const HomeTree& tree, const std::string& source, const std::string& destination,
                                        bool move, std::string* error)>;

// The document's file name is the chosen file's own; its name is stored trimmed. Refused with
// nothing changed: no file or no name (text::kChooseDocument), a file name that is not UTF-8 (text::kNameNotUtf8) or
// cannot be one here (text::kNameNotUsable; at the top level also the index page's own names), a destination outside
// `home` (text::kTransferFailed) or taken (text::kFileNameTaken), a file the knowledge base or the program itself
// needs, when it would be moved (text::kSourceBelongsToStore), a store that cannot be written (text::kAddFailed). Then
// the command is journalled, the catalog's folder made when it is missing, the file transferred (text::kTransferFailed
// when that fails) and the row and node written with the journal's end (text::kAddFailed when that fails, the transfer
// undone). On success *added (if given) is the new node.
OpResult AddDocumentOperation(CatalogModel& catalog, const std::string& home, const NewDocument& request,
                              const TransferStep& transfer = {}, CatalogNode** added = nullptr);

// True when moving `source` away would take a file the knowledge base needs: the program's own
// files (the store among them), the index page and its backup, the page's script folder, what
// lies in the trash, or another node's file.
bool BelongsToKnowledgeBase(const CatalogModel& catalog, const std::string& home, const std::string& source,
                            const ProgramFiles& program);

} // namespace mwdx
