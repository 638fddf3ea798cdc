#pragma once

// Find: the search field above the tree. Each keystroke looks through the folded names and
// comments a slice at a time, so the window keeps painting, then shows only the matches with the
// catalogs above them, open. Escape brings back the tree as it was before the search.

#include "catalog/model.h"
#include "catalog/search.h"
#include "catalog/visible_rows.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;

namespace mwdx {

class CatalogTreeModel;
class CTreeCtrlEx;

class CatalogFinder final : public QObject {
    Q_OBJECT

public:
    // Searches `catalog` as `model` shows it in `tree`, for the text typed into `field`, with the
    // number of matches in `count`.
    CatalogFinder(QLineEdit& field, QLabel& count, CTreeCtrlEx& tree, CatalogTreeModel& model, CatalogModel& catalog,
                  QObject* parent = nullptr);

    // Ctrl+F: the field takes the keys, its text selected.
    void Focus();
    // Escape: no search; the tree as it was, with what is selected shown.
    void Clear();
    // True while the tree shows a search's matches (or is still finding them).
    bool Active() const { return m_state.active; }
    // The catalog is about to be loaded again: the search ends without touching the tree. What
    // was open before it and what is selected now, or was before the search (FILE_IDs; 0: none),
    // come back.
    std::vector<NodeId> Forget(NodeId* selected = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTextChanged();
    void Slice();
    const CatalogNode* SelectedOrBefore() const;
    void Select(const CatalogNode* node);

    QLineEdit& m_field;
    QLabel& m_count;
    CTreeCtrlEx& m_tree;
    CatalogTreeModel& m_model;
    CatalogModel& m_catalog;
    // A search under way, a slice at a time, and the tree as it was before the search.
    struct State {
        bool active = false;
        std::string folded;
        std::size_t nextPlace = 0;
        std::uint64_t generation = 0;
        std::optional<ShownTreeBuilder> shown; // the matches so far, with their catalogs
        std::optional<VisibleRows::ShownBuild> rows; // once all are found: the rows to show
        bool rowsReady = false;                         // ... all of them made
        std::size_t found = 0;
        std::size_t shownNodes = 0;
        std::vector<NodeId> expandedBefore;
        NodeId selectedBefore = -1;
        int scrollBefore = 0;
    };
    State m_state;
    QTimer m_timer;
    QTimer m_release; // once no search has run for a while, the folded text lets go of its memory
};

} // namespace mwdx
