// Find: the search field above the tree. Each keystroke looks through the folded names and
// comments a slice at a time, so the window keeps painting, then shows only the matches with the
// catalogs above them, expanded. Escape restores the tree as it was before the search.

#include "app/catalog_tree_model.h"
#include "app/marrowdex_dlg.h"
#include "app/tree_ctrl_ex.h"
#include "catalog/search.h"
#include "platform/text.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>
#include <chrono>

namespace mwdx {

namespace {

// A slice looks through this many nodes at a time and gives the window its turn once it has
// taken this long.
constexpr std::size_t kSlicePlaces = 1 << 16;
constexpr std::size_t kSliceBuild = 1 << 15;
constexpr auto kSliceTime = std::chrono::milliseconds(25);

} // namespace

const CatalogNode* CMarrowdexDlg::SelectedOrBefore() const {
    // What the user selects under the search counts; until then, what was selected before it.
    if (const CatalogNode* selected = ItemNode(GetSelectedItem())) {
        return selected;
    }
    return m_search.selectedBefore >= 0 ? m_catalog.NodeById(m_search.selectedBefore) : nullptr;
}

void CMarrowdexDlg::FocusSearch() {
    m_searchEdit->setFocus(Qt::ShortcutFocusReason);
    m_searchEdit->selectAll();
}

bool CMarrowdexDlg::Searching() const {
    return m_search.active;
}

void CMarrowdexDlg::OnSearchTextChanged() {
    const std::string text = ToStoreText(m_searchEdit->text().toStdU16String());
    if (text.empty()) {
        const bool focused = m_searchEdit->hasFocus();
        ClearSearch();
        if (focused) {
            m_searchEdit->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    if (m_catalog.RootNode() == nullptr) {
        m_matchCount->setText(QStringLiteral("0"));
        return;
    }
    if (!m_search.active) {
        // The tree as it is now, to come back to.
        m_search.active = true;
        m_search.scrollBefore = m_tree->verticalScrollBar()->value();
        if (const CatalogNode* selected = ItemNode(GetSelectedItem())) {
            m_search.selectedBefore = selected->FileId();
        }
        for (const CatalogNode* node : m_treeModel->ExpandedNodes()) {
            m_search.expandedBefore.push_back(node->FileId());
        }
    }
    const CatalogSearch& index = m_treeModel->Search();
    m_search.folded = FoldCase(text);
    m_search.nextPlace = 0;
    m_search.shown.reset();
    m_search.generation = index.Generation();
    m_filterTimer.start(0);
}

void CMarrowdexDlg::FilterSlice() {
    CatalogSearch& index = m_treeModel->Search();
    if (!m_search.active || m_catalog.RootNode() == nullptr) {
        return;
    }
    // The first search folds every name and comment, a slice at a time too.
    if (!index.Built()) {
        if (!index.BuildSome(*m_catalog.RootNode(), kSliceBuild, m_catalog.NodeCount())) {
            m_filterTimer.start(0);
            return;
        }
    }
    if (index.Generation() != m_search.generation || !m_search.shown) {
        // The catalog changed between slices: what was found may be gone.
        m_search.nextPlace = 0;
        m_search.shown.emplace(*m_catalog.RootNode());
        m_search.generation = index.Generation();
    }
    const auto started = std::chrono::steady_clock::now();
    std::vector<const CatalogNode*> matches;
    while (m_search.nextPlace < index.Places()) {
        const std::size_t last = std::min(m_search.nextPlace + kSlicePlaces, index.Places());
        matches.clear();
        index.FindIn(m_search.folded, m_search.nextPlace, last, matches);
        m_search.shown->Add(matches);
        m_search.nextPlace = last;
        if (m_search.nextPlace < index.Places() && std::chrono::steady_clock::now() - started > kSliceTime) {
            m_filterTimer.start(0);
            return;
        }
    }
    const CatalogNode* selected = SelectedOrBefore();
    ShownTree shown = m_search.shown->Finish();
    m_search.shown.reset();
    const std::size_t found = shown.matches;
    // Every catalog with something shown below it is open.
    m_treeModel->SetFilter(shown);
    m_matchCount->setText(QString::number(found));
    // The selection stays when the search shows it.
    if (const QModelIndex item = ItemOf(selected); item.isValid()) {
        SelectItem(item);
        m_tree->scrollTo(item);
    }
}

void CMarrowdexDlg::ClearSearch() {
    m_filterTimer.stop();
    {
        const QSignalBlocker quiet(m_searchEdit);
        m_searchEdit->clear();
    }
    m_matchCount->clear();
    m_tree->setFocus(Qt::OtherFocusReason);
    if (!m_search.active) {
        return;
    }
    const CatalogNode* selected = SelectedOrBefore();
    const SearchState before = std::move(m_search);
    m_search = {};
    m_treeModel->ClearFilter(NodesOf(before.expandedBefore));
    m_tree->verticalScrollBar()->setValue(before.scrollBefore);
    // What was selected under the search stays selected, with the catalogs above it open.
    if (const QModelIndex item = m_treeModel->ExpandTo(selected); item.isValid()) {
        SelectItem(item);
        m_tree->scrollTo(item);
    }
}

} // namespace mwdx
