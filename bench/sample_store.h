#pragma once

// Opening a sample store a benchmark has just written, as the program opens it at start, and
// closing it again.

#include "catalog/loader.h"
#include "catalog/model.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/store_session.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace mwdx::bench {

// Closes the connection the sample was written through, starts the store at `db` and loads its
// settings and tree into `catalog`; what making the sample left to write goes to disk now, not
// inside the first commit timed. Exits when the store cannot be started.
inline void OpenSampleStore(const std::string& db, CatalogModel& catalog) {
    CloseStore();
    if (StartStore(db).status != StoreStart::kReady) {
        std::fprintf(stderr, "cannot open the sample\n");
        std::exit(1);
    }
    LoadSettings();
    LoadCatalog(catalog);
    ::sync();
}

inline void CloseSampleStore(CatalogModel& catalog) {
    catalog.Clear();
    FreeSettings();
    StopStore();
}

} // namespace mwdx::bench
