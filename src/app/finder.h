#pragma once

// Find: the search field above the tree. Each keystroke looks through the folded names and
// comments a slice at a time, so the window keeps painting, then shows only the matches with the
// catalogs above them, open. The documents whose text matches are asked of the content index off
// the window's thread; they join the same tree when the answer comes (often after the names),
// marked as found by their content. Escape brings back the tree as it was before the search.

#include "catalog/model.h"
#include "catalog/search.h"
#include "catalog/visible_rows.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class QLabel;
class QLineEdit;

namespace mwdx {

class CatalogTreeModel;
class ContentSearch;
class CTreeCtrlEx;

class CatalogFinder final : public QObject {
    Q_OBJECT

public:
    // Searches `catalog` as `model` shows it in `tree`, for the text typed into `field`, with the
    // number of matches in `count`.
    CatalogFinder(QLineEdit& field, QLabel& count, CTreeCtrlEx& tree, CatalogTreeModel& model, CatalogModel& catalog,
                  QObject* parent = nullptr);

    // From now on the field finds documents by their text too, asking `content` (nullptr: not).
    void SetContentSearch(ContentSearch* content);

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
    // The text searched for; empty while no search is active.
    const QString& Text() const { return m_state.text; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTextChanged();
    void OnContentFound(std::uint64_t ticket, const std::vector<NodeId>& ids);
    void OnIndexChanged();
    void Slice();
    // Slice's steps; each returns true when the next step may follow in the same slice.
    bool Scan(const std::function<bool()>& timeIsUp);
    bool Replay(const std::function<bool()>& timeIsUp);
    void Gather();
    bool MakeRows(const std::function<bool()>& timeIsUp);
    void ShowRows();
    const CatalogNode* SelectedOrBefore() const;
    void Select(const CatalogNode* node);

    QLineEdit& m_field;
    QLabel& m_count;
    CTreeCtrlEx& m_tree;
    CatalogTreeModel& m_model;
    CatalogModel& m_catalog;
    ContentSearch* m_content = nullptr;
    // A search under way, a slice at a time, and the tree as it was before the search.
    enum class Phase {
        kScan,   // looking through the names and comments
        kReplay, // the text's answer came after the rows were made: the names' matches again
        kGather, // the matches with their catalogs, as lists of shown children
        kRows,   // the rows to show
        kShow,   // all made: shown in a slice of its own
        kShown,  // the tree shows them
    };
    struct State {
        bool active = false;
        QString text;
        std::string folded;
        Phase phase = Phase::kScan;
        std::size_t nextPlace = 0;
        std::uint64_t generation = 0;
        std::vector<const CatalogNode*> nameMatches; // in the order found
        std::size_t replayed = 0;
        std::optional<ShownTreeBuilder> shown; // the matches so far, with their catalogs
        std::optional<VisibleRows::ShownBuild> rows; // once all are found: the rows to show
        std::uint64_t contentTicket = 0;
        bool contentIn = false;      // the content index answered the text
        std::vector<NodeId> content; // its answer
        std::vector<NodeId> contentUsed; // the answer the rows made or shown carry (none before one came)
        std::unordered_set<NodeId> marked; // the rows made mark these as found by their content
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
