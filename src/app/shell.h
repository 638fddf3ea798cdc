#pragma once

// The desktop's services: opening a file with the program the desktop associates with it, and
// the user's desktop folder.

#include <string>

namespace mwdx {

// Asks the desktop to open the file (the browser for a page). Does not wait for it.
void OpenWithDesktop(const std::string& path);

// The user's desktop folder (XDG user dirs), or empty when there is none. Never created here.
std::string DesktopFolder();

} // namespace mwdx
