#pragma once

// The Trash window: what was deleted, when and from where, newest first, with Restore, Delete for
// good and Empty the trash. The core's trash commands do the work (operations/trash.h); the window
// asks, calls them and shows what they did. A restore shows the node again in the main window.

#include "store/trash_rows.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace mwdx {

class CMarrowdexDlg;
class CatalogNode;

class CTrashDlg final : public QDialog {
    Q_OBJECT

public:
    // Asks the user for the catalog to restore `entry` into, its own being gone: the Root Node for
    // the top level; nullptr when the user cancels.
    using CatalogChooser = std::function<CatalogNode*(QWidget* owner, const TrashEntry& entry)>;

    // The trash of `window`'s knowledge base (the window is the parent).
    CTrashDlg(CMarrowdexDlg& window, CatalogChooser chooseCatalog);

    // The entries listed, in the order shown.
    const std::vector<TrashEntry>& Entries() const { return m_entries; }

    // Handlers, one per button; each acts on the selected entry (Empty on all of them).
    void OnRestore();
    void OnDeleteForGood();
    void OnEmptyTrash();
    void OnSelectionChanged();

private:
    void LayOut();
    // The entries as the store holds them now.
    void Reload();
    std::optional<TrashEntry> Selected() const;
    // Where an entry came from, as the list shows it: its catalog now, or where it was.
    QString FromText(const TrashEntry& entry) const;

    CMarrowdexDlg& m_window;
    CatalogChooser m_chooseCatalog;
    std::vector<TrashEntry> m_entries;
    QLabel* m_explanation;
    QTreeWidget* m_list;
    QPushButton* m_restoreButton;
    QPushButton* m_deleteButton;
    QPushButton* m_emptyButton;
    QPushButton* m_closeButton;
};

} // namespace mwdx
