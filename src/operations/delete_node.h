#pragma once

// Deleting a node with everything below it: its rows, its nodes and, when asked, its files.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <string>

namespace mwdx {

// Deletes the rows of `node`'s subtree in one transaction (183 and nothing changes when they
// cannot be), then its nodes. With `deleteFiles`, also what is at its path: moved aside first,
// the move recorded in the journal, and removed for good once the rows are gone. The files stay
// when another node still uses them (done, 185), when they are or hold `program`'s files (done,
// 332), when they lie outside `home` or cannot be removed (done, 184; what was not removed stays
// under its own name).
OpResult DeleteNodeOperation(CatalogModel& catalog, const std::string& home, CatalogNode& node, bool deleteFiles,
                             const ProgramFiles& program = {});

} // namespace mwdx
