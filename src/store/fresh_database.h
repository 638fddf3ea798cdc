#pragma once

#include <string>

namespace mwdx {

// Creates a new database at `path` with both tables and the first settings row. Never touches
// an existing file (or anything else already at the path): it builds the database under a
// temporary name in the same directory and publishes it without replacing. On failure returns
// false with a reason in *error (English, for tools and logs) and leaves nothing behind.
bool CreateFreshDatabase(const std::string& path, std::string* error);

} // namespace mwdx
