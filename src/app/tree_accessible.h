#pragma once

// What a screen reader sees of the catalog tree: a tree whose items are the rows shown, each with
// its name, whether it can be opened and is open, selected and focused, and its children when it
// is open, so that an item's level is its depth below the tree. Built on Qt's public
// accessibility interfaces; the view itself is a flat list of rows.

#include <QModelIndex>
#include <QItemSelection>

namespace mwdx {

class CTreeCtrlEx;

// Makes every CTreeCtrlEx answer as a tree (once per program; later calls do nothing).
void InstallTreeAccessibility();

// Tells an assistive tool that `current` has the focus, or that `selected` became selected and
// `deselected` did not stay.
void NotifyTreeFocus(CTreeCtrlEx* tree, const QModelIndex& current);
void NotifyTreeSelection(CTreeCtrlEx* tree, const QItemSelection& selected, const QItemSelection& deselected);

} // namespace mwdx
