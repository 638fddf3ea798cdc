#pragma once

// Every command of the main window, made for one window: what main() and the tests hand to it.

#include "app/command.h"

namespace mwdx {

std::vector<std::unique_ptr<Command>> MakeCommands(CMarrowdexDlg& window);

} // namespace mwdx
