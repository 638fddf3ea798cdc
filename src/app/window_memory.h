#pragma once

// What the main window remembers of a knowledge base from one run to the next: its size and
// place, the catalogs open, the node selected, how far the tree is scrolled and where the tree
// and the comment pane meet. Kept per store (by the path of its mymwdx.db) in the user's own
// configuration folder ($XDG_CONFIG_HOME/marrowdex/window.conf), never in the store, so that
// copies of the program on one machine and users of one store each keep their own.

#include "catalog/node.h"

#include <QByteArray>
#include <string>
#include <vector>

namespace mwdx {

struct WindowMemory {
    QByteArray geometry; // as QWidget::saveGeometry gives it
    QByteArray splitter; // as QSplitter::saveState gives it
    std::vector<NodeId> open;
    NodeId selected = 0; // 0: none
    int scroll = 0;      // the tree's first row in view
};

// What was remembered for the store at `storePath`; an empty memory when nothing was, or the
// file cannot be read.
WindowMemory RecallWindow(const std::string& storePath);

// Remembers `memory` for the store at `storePath`. False when the file cannot be written: the
// next start then opens as a first one does.
bool RememberWindow(const std::string& storePath, const WindowMemory& memory);

} // namespace mwdx
