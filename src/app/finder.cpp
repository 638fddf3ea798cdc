#include "app/finder.h"

#include "app/catalog_tree_model.h"
#include "app/content_search.h"
#include "app/tree_ctrl_ex.h"
#include "platform/text.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <span>

namespace mwdx {

namespace {

// A slice looks through this many nodes at a time and gives the window its turn once it has
// taken this long.
constexpr std::size_t kSlicePlaces = 1 << 14;
constexpr std::size_t kSliceBuild = 1 << 12;
constexpr std::size_t kSliceParents = 1 << 9;
constexpr auto kSliceTime = std::chrono::milliseconds(25);
// The folded names and comments are kept while the user searches again and again, and given back
// once the search field has been left alone this long.
constexpr auto kKeepFolded = std::chrono::seconds(10);

std::vector<const CatalogNode*> NodesOf(const CatalogModel& catalog, const std::vector<NodeId>& ids) {
    std::vector<const CatalogNode*> nodes;
    for (const NodeId id : ids) {
        if (const CatalogNode* node = catalog.NodeById(id)) {
            nodes.push_back(node);
        }
    }
    return nodes;
}

} // namespace

CatalogFinder::CatalogFinder(QLineEdit& field, QLabel& count, CTreeCtrlEx& tree, CatalogTreeModel& model,
                             CatalogModel& catalog, QObject* parent)
    : QObject(parent), m_field(field), m_count(count), m_tree(tree), m_model(model), m_catalog(catalog) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CatalogFinder::Slice);
    m_release.setSingleShot(true);
    m_release.setInterval(kKeepFolded);
    connect(&m_release, &QTimer::timeout, this, [this] {
        if (!m_state.active) {
            m_model.Search().ClearInBackground();
        }
    });
    connect(&m_field, &QLineEdit::textChanged, this, &CatalogFinder::OnTextChanged);
    m_field.installEventFilter(this);
}

bool CatalogFinder::eventFilter(QObject* watched, QEvent* event) {
    // Escape in the search field ends the search instead of closing the window, and Enter goes
    // on to the tree's first match.
    if (watched == &m_field && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            Clear();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_tree.setFocus(Qt::OtherFocusReason);
            if (m_tree.selectionModel()->selectedIndexes().isEmpty() && m_model.rowCount() > 0) {
                m_tree.selectionModel()->setCurrentIndex(m_model.index(0, 0), QItemSelectionModel::ClearAndSelect);
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

const CatalogNode* CatalogFinder::SelectedOrBefore() const {
    // What the user selects under the search counts; until then, what was selected before it.
    if (const CatalogNode* node = m_model.NodeOf(m_tree.SelectedItem())) {
        return node;
    }
    return m_state.selectedBefore >= 0 ? m_catalog.NodeById(m_state.selectedBefore) : nullptr;
}

void CatalogFinder::Select(const CatalogNode* node) {
    if (const QModelIndex item = m_model.IndexOf(node); item.isValid()) {
        m_tree.selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
        m_tree.scrollTo(item);
    }
}

void CatalogFinder::SetContentSearch(ContentSearch* content) {
    if (m_content != nullptr) {
        disconnect(m_content, nullptr, this, nullptr);
    }
    m_content = content;
    if (m_content != nullptr) {
        connect(m_content, &ContentSearch::found, this, &CatalogFinder::OnContentFound);
        connect(m_content, &ContentSearch::indexChanged, this, &CatalogFinder::OnIndexChanged);
    }
}

void CatalogFinder::Focus() {
    m_field.setFocus(Qt::ShortcutFocusReason);
    m_field.selectAll();
}

void CatalogFinder::OnTextChanged() {
    const std::string text = ToStoreText(m_field.text().toStdU16String());
    if (text.empty()) {
        const bool focused = m_field.hasFocus();
        Clear();
        if (focused) {
            m_field.setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    if (m_catalog.RootNode() == nullptr) {
        m_count.setText(QStringLiteral("0"));
        return;
    }
    if (!m_state.active) {
        // The tree as it is now, to come back to.
        m_state.active = true;
        m_state.scrollBefore = m_tree.verticalScrollBar()->value();
        if (const CatalogNode* node = m_model.NodeOf(m_tree.SelectedItem())) {
            m_state.selectedBefore = node->FileId();
        }
        for (const CatalogNode* node : m_model.ExpandedNodes()) {
            m_state.expandedBefore.push_back(node->FileId());
        }
    }
    m_release.stop();
    const CatalogSearch& index = m_model.Search();
    m_state.text = m_field.text();
    m_state.folded = FoldCase(text);
    m_state.phase = Phase::kScan;
    m_state.nextPlace = 0;
    m_state.nameMatches.clear();
    m_state.shown.reset();
    m_state.rows.reset();
    m_state.generation = index.Generation();
    // The content index is asked at once, beside the scan; its answer joins when it comes.
    m_state.contentIn = false;
    m_state.content.clear();
    m_state.contentUsed.clear();
    m_state.contentTicket = m_content != nullptr ? m_content->Find(m_state.text) : 0;
    m_timer.start(0);
}

void CatalogFinder::OnContentFound(std::uint64_t ticket, const std::vector<NodeId>& ids) {
    if (!m_state.active || ticket != m_state.contentTicket) {
        return; // a text typed over since, or a search ended
    }
    if (m_state.contentIn && ids == m_state.content) {
        return;
    }
    m_state.content = ids;
    m_state.contentIn = true;
    // Rows made with the same documents (none, most often) stand as they are.
    if (ids == m_state.contentUsed) {
        return;
    }
    if (m_state.phase == Phase::kRows || m_state.phase == Phase::kShow || m_state.phase == Phase::kShown) {
        // The rows were made without it: made again, with the names' matches as they were found.
        m_state.phase = Phase::kReplay;
        m_state.replayed = 0;
        m_state.shown.reset();
        m_state.rows.reset();
        m_timer.start(0);
    }
}

void CatalogFinder::OnIndexChanged() {
    // Documents were indexed meanwhile: the text may be found in more of them now.
    if (m_state.active && m_content != nullptr) {
        m_state.contentTicket = m_content->Find(m_state.text);
    }
}

void CatalogFinder::Slice() {
    CatalogSearch& index = m_model.Search();
    if (!m_state.active || m_catalog.RootNode() == nullptr) {
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    const std::function<bool()> timeIsUp = [&] { return std::chrono::steady_clock::now() - started > kSliceTime; };
    // The first search folds every name and comment, a slice at a time too.
    while (!index.Built()) {
        if (!index.BuildSome(*m_catalog.RootNode(), kSliceBuild, m_catalog.NodeCount()) && timeIsUp()) {
            m_timer.start(0);
            return;
        }
    }
    if (index.Generation() != m_state.generation || (m_state.phase == Phase::kScan && !m_state.shown)) {
        // The catalog changed between slices: what was found, and the rows made of it, may be gone.
        m_state.phase = Phase::kScan;
        m_state.nextPlace = 0;
        m_state.nameMatches.clear();
        m_state.shown.emplace(*m_catalog.RootNode());
        m_state.rows.reset();
        m_state.generation = index.Generation();
    }
    // Each slice gives the window its turn: the scan, then gathering the rows to show, making
    // them, and showing them.
    switch (m_state.phase) {
    case Phase::kScan:
        if (!Scan(timeIsUp)) {
            m_timer.start(0);
            return;
        }
        m_state.phase = Phase::kGather;
        break;
    case Phase::kReplay:
        if (!Replay(timeIsUp)) {
            m_timer.start(0);
            return;
        }
        m_state.phase = Phase::kGather;
        break;
    case Phase::kGather:
        Gather();
        m_state.phase = Phase::kRows;
        break;
    case Phase::kRows:
        if (!MakeRows(timeIsUp)) {
            m_timer.start(0);
            return;
        }
        // Showing them is a slice of its own.
        m_state.phase = Phase::kShow;
        break;
    case Phase::kShow:
        ShowRows();
        return;
    case Phase::kShown:
        return;
    }
    m_timer.start(0);
}

bool CatalogFinder::Scan(const std::function<bool()>& timeIsUp) {
    const CatalogSearch& index = m_model.Search();
    std::vector<const CatalogNode*> matches;
    while (m_state.nextPlace < index.Places() && !timeIsUp()) {
        const std::size_t last = std::min(m_state.nextPlace + kSlicePlaces, index.Places());
        matches.clear();
        index.FindIn(m_state.folded, m_state.nextPlace, last, matches);
        m_state.shown->Add(matches);
        m_state.nameMatches.insert(m_state.nameMatches.end(), matches.begin(), matches.end());
        m_state.nextPlace = last;
    }
    return m_state.nextPlace >= index.Places();
}

bool CatalogFinder::Replay(const std::function<bool()>& timeIsUp) {
    if (!m_state.shown) {
        m_state.shown.emplace(*m_catalog.RootNode());
    }
    const std::span<const CatalogNode* const> all(m_state.nameMatches);
    while (m_state.replayed < all.size() && !timeIsUp()) {
        const std::size_t count = std::min(kSlicePlaces, all.size() - m_state.replayed);
        m_state.shown->Add(all.subspan(m_state.replayed, count));
        m_state.replayed += count;
    }
    return m_state.replayed >= all.size();
}

void CatalogFinder::Gather() {
    // The documents found by their text join the names' matches; one found both ways shows once.
    m_state.marked.clear();
    m_state.contentUsed = m_state.contentIn ? m_state.content : std::vector<NodeId>();
    if (m_state.contentIn && !m_state.content.empty()) {
        std::vector<const CatalogNode*> documents;
        documents.reserve(m_state.content.size());
        for (const NodeId id : m_state.content) {
            const CatalogNode* node = m_catalog.NodeById(id);
            if (node != nullptr && !node->IsCatalog() && node->Parent() != nullptr) {
                documents.push_back(node);
                m_state.marked.insert(id);
            }
        }
        m_state.shown->Add(documents);
    }
    ShownTree shown = m_state.shown->Finish();
    m_state.shown.reset();
    m_state.found = shown.matches;
    m_state.shownNodes = 0;
    for (const auto& [parent, list] : shown.children) {
        m_state.shownNodes += list.nodes.size();
    }
    m_state.rows.emplace(m_catalog.RootNode(), shown);
}

bool CatalogFinder::MakeRows(const std::function<bool()>& timeIsUp) {
    while (!m_state.rows->Step(kSliceParents)) {
        if (timeIsUp()) {
            return false;
        }
    }
    return true;
}

void CatalogFinder::ShowRows() {
    const CatalogNode* selected = SelectedOrBefore();
    // Every catalog with something shown below it is open.
    m_model.SetFilter(std::move(*m_state.rows), m_state.shownNodes);
    m_model.SetContentMatches(std::move(m_state.marked));
    m_state.marked = {};
    m_state.rows.reset();
    m_state.phase = Phase::kShown;
    m_count.setText(QString::number(m_state.found));
    // The selection stays when the search shows it.
    Select(selected);
}

void CatalogFinder::Clear() {
    m_timer.stop();
    {
        const QSignalBlocker quiet(&m_field);
        m_field.clear();
    }
    m_count.clear();
    m_tree.setFocus(Qt::OtherFocusReason);
    if (!m_state.active) {
        return;
    }
    const CatalogNode* selected = SelectedOrBefore();
    const State before = std::move(m_state);
    m_state = {};
    m_model.ClearFilter(NodesOf(m_catalog, before.expandedBefore));
    m_release.start();
    m_tree.verticalScrollBar()->setValue(before.scrollBefore);
    // What was selected under the search stays selected, with the catalogs above it open.
    Select(m_model.NodeOf(m_model.ExpandTo(selected)));
}

std::vector<NodeId> CatalogFinder::Forget(NodeId* selected) {
    m_timer.stop();
    if (selected != nullptr) {
        const CatalogNode* node = SelectedOrBefore();
        *selected = node != nullptr ? node->FileId() : 0;
    }
    std::vector<NodeId> open = m_state.active ? m_state.expandedBefore : std::vector<NodeId>{};
    m_state = {};
    const QSignalBlocker quiet(&m_field);
    m_field.clear();
    m_count.clear();
    return open;
}

} // namespace mwdx
