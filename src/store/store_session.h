#pragma once

// Starting and stopping the program's use of its knowledge base: the one-program lock, a store
// made on first start, and a file that is not a store (or that another program has locked) left
// alone. The tools only read and start nothing of this.

#include <cstdint>
#include <string>

namespace mwdx {

enum class StoreStart {
    kReady,     // an existing knowledge base, open and locked for this program
    kCreated,   // there was none (or an empty file): made with the fresh schema, open and locked
    kInUse,     // another window of the program has it; nothing was touched
    kBusy,      // another program holds a lock on the database itself; nothing was touched
    kNotAStore, // the file is not a knowledge base (or lacks its tables); never written to
    kFailed,    // it could not be made or opened; `detail` says why
};

struct StoreStartResult {
    StoreStart status = StoreStart::kFailed;
    std::string detail; // English, for a log or a tool
};

// Takes the knowledge base at `path` for this program: creates it when missing or empty, locks it
// against a second program, opens it as the program's store (OpenStore) and checks that it holds
// FILE_NODE and SYS_CONFIG as the program reads them. Only kReady and kCreated leave the store
// open and the lock held; every other status leaves neither.
StoreStartResult StartStore(const std::string& path);

// Closes the store and lets go of the lock.
void StopStore();

// Whether another connection changed the store since the last call of RememberStoreVersion (or
// StartStore). A failed look counts as a change: the caller then reloads rather than act blind.
bool StoreChangedElsewhere();
void RememberStoreVersion();

} // namespace mwdx
