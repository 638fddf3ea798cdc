#pragma once

// Importing folders from the window: one import after the other on a thread of its own, behind a
// progress window with Cancel (which keeps what is done), and the user told at the end what was
// skipped, what failed and whether it was cancelled.

#include <string>
#include <vector>

class QWidget;

namespace mwdx {

class CatalogNode;
class CMarrowdexDlg;

// Imports each of `sources` with ImportOperation under `parent` (nullptr: the top level; sources
// inside the Home Directory are taken in place), moving or copying as `move` says. The tree view
// lets go of the catalog meanwhile and shows it again afterwards. Messages are owned by `owner`.
// True when every import took effect.
bool RunImports(CMarrowdexDlg& window, QWidget* owner, CatalogNode* parent, const std::vector<std::string>& sources,
                bool move);

} // namespace mwdx
