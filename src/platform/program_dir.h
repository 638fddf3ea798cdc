#pragma once

#include <string>

namespace mwdx {

// The directory that holds the running program, without a trailing '/', read from
// /proc/self/exe each time (the program folder is portable and may have been moved).
// Empty when the link cannot be read.
std::string ProgramDirectory();

// The running program's file name without its extension: the caption of the program's message
// boxes. Empty when the link cannot be read.
std::string ProgramName();

} // namespace mwdx
