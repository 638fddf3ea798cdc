#pragma once

// Moving and copying one document file into the knowledge base. Neither ever replaces a file
// that exists at the destination, and neither ever leaves a partial file under the final name.
// On failure errno holds the cause (EEXIST for a taken destination, ENOSPC for a full disk).

#include <string>
#include <string_view>

namespace mwdx {

// Moves the file `source` to `destination`, which must not exist. Within one file system a
// rename without replacing; across file systems a copy to a temporary name in the destination's
// folder, flushed to disk, published without replacing, and only then the source removed.
// False (source untouched, nothing at the destination) when it cannot; *error (if given) says why.
bool MoveFileNoReplace(std::string_view source, std::string_view destination, std::string* error = nullptr);

// Copies the file `source` to `destination`, which must not exist: a temporary name in the
// destination's folder, flushed to disk, then published without replacing. False (nothing at the
// destination) when it cannot; *error (if given) says why.
bool CopyFileNoReplace(std::string_view source, std::string_view destination, std::string* error = nullptr);

} // namespace mwdx
