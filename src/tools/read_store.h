#pragma once

// How the tools that only read open a knowledge base.

#include "catalog/loader.h"
#include "platform/program_dir.h"
#include "store/connection.h"
#include "store/settings.h"

#include <string>
#include <sys/stat.h>

namespace mwdx {

// Opens the store at `*databasePath` (empty: mymwdx.db beside the tool, which *databasePath then
// names) as the program-wide connection, for reading only, with its Settings loaded. Empty on
// success; otherwise what to say, in English, with the store closed again.
inline std::string OpenStoreToRead(std::string* databasePath) {
    if (databasePath->empty()) {
        const std::string directory = ProgramDirectory();
        if (directory.empty()) {
            return "cannot find the folder of this program; give the database's path";
        }
        *databasePath = directory + "/mymwdx.db";
    }
    struct stat file {};
    if (::stat(databasePath->c_str(), &file) != 0 || !S_ISREG(file.st_mode)) {
        return *databasePath + ": no database file there";
    }
    OpenStoreForReading(*databasePath);
    if (!IsStoreOpen()) {
        return *databasePath + ": cannot open the database";
    }
    int rows = 0;
    if (LoadSettings() != 1 || CountNodes(&rows) != 1) {
        // The message belongs to the connection: copied before the store is closed.
        const std::string reason = StoreErrorMessage();
        FreeSettings();
        CloseStore();
        return *databasePath + ": not a Marrowdex database (" + reason + ")";
    }
    return {};
}

} // namespace mwdx
