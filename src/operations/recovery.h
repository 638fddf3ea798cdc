#pragma once

// What the next start does about commands a crash interrupted: each journal entry is finished
// when its step on disk has happened, and undone when it has not, so that the store and the disk
// agree again before the tree is loaded.

#include <string>
#include <vector>

namespace mwdx {

struct RecoveryReport {
    std::vector<std::string> finished;   // paths of commands completed now
    std::vector<std::string> undone;     // paths of commands taken back
    std::vector<std::string> unresolved; // paths the user should look at
    int status = 0;                      // of reading the journal: kStatementOk or the failure's
};

// Works through the journal of the open store, oldest first, every step below `home`. Entries it
// settles are removed; an entry of a kind it does not know stays (a newer program wrote it), and
// so does every entry while `home` is not a usable Home Directory (all of them unresolved).
RecoveryReport RecoverInterruptedCommands(const std::string& home);

} // namespace mwdx
