#pragma once

// What the last health check the program ran found, kept in the store so that the next start can
// mention it. Its table is made by the first check; loading never needs it, and reading it never
// writes.

#include <cstdint>
#include <optional>

namespace mwdx {

// Records `findings` as the last check's result, with the time of now. kStatementOk, or the
// SQLite code of the failure (the record is then as it was).
int WriteLastCheck(std::int64_t findings);

// The number of findings of the last check; nothing when no check was ever recorded or the record
// cannot be read.
std::optional<std::int64_t> ReadLastCheck();

} // namespace mwdx
