#pragma once

// What the next start does about commands a crash interrupted: each journal entry is finished
// when its step on disk has happened, and undone when it has not, so that the store and the disk
// agree again before the tree is loaded. An entry is first checked (journal_check.h); one that
// does not fit this knowledge base is never carried out.

#include "operations/op_result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mwdx {

struct RecoveryReport {
    std::vector<std::string> finished;   // paths of commands completed now
    std::vector<std::string> undone;     // paths of commands taken back
    std::vector<std::string> unresolved; // paths the user should look at
    std::vector<std::string> refused;    // paths of entries not carried out: the check shows them
    int status = 0;                      // of reading the journal: kStatementOk or the failure's
};

// Works through the journal of the open store, oldest first, every step below `home` (the store's
// ROOT_DIR). Entries it settles are removed; an entry of a kind it does not know stays (a newer
// program wrote it), and so does one the check refuses, untouched, until the user discards it,
// and every entry while `home` is not a usable Home Directory (all of them unresolved).
// "Finished" and "undone" list only what is so; an entry left part-way stays, as unresolved.
RecoveryReport RecoverInterruptedCommands(const std::string& home);

// Removes from the journal the entries with these ids that the check refuses for `home`, in one
// transaction, without carrying any of them out; an entry that passes the check now stays.
// Refused with text::kChangeNotSaved when the store cannot be written (then none is removed).
OpResult DiscardRefusedEntries(const std::vector<std::int64_t>& ids, const std::string& home);

} // namespace mwdx
