#include "app/tree_accessible.h"

#include "app/catalog_tree_model.h"
#include "app/tree_ctrl_ex.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>
#include <unordered_map>

namespace mwdx {

namespace {

class TreeAccessible;

// One row of the tree, as a screen reader sees it: a tree item below its catalog's item.
class ItemAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ItemAccessible(TreeAccessible& tree, CatalogNode& node) : m_tree(&tree), m_node(&node) {}

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::TreeItem; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    // Opening and closing a catalog, as a screen reader offers it.
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    CatalogNode* Node() const { return m_node; }
    void Invalidate() { m_tree = nullptr; }

private:
    QModelIndex Index() const;

    TreeAccessible* m_tree;
    CatalogNode* m_node;
};

// The tree: its children are the top-level rows. Each row's item is made when first asked for
// and dropped whenever rows go (before their nodes can be freed), to be made again on demand.
class TreeAccessible final : public QAccessibleWidget {
public:
    explicit TreeAccessible(CTreeCtrlEx* view) : QAccessibleWidget(view, QAccessible::Tree), m_view(view) {
        m_watch = new QObject(view);
        if (view->model() == nullptr) {
            return; // no rows to tell of
        }
        const auto drop = [this] { Forget(); };
        QObject::connect(view->model(), &QAbstractItemModel::rowsAboutToBeRemoved, m_watch, drop);
        QObject::connect(view->model(), &QAbstractItemModel::modelAboutToBeReset, m_watch, drop);
        QObject::connect(view->model(), &QAbstractItemModel::dataChanged, m_watch,
                         [this](const QModelIndex& first, const QModelIndex&, const QList<int>& roles) {
                             if (roles.contains(CatalogTreeModel::kExpandedRole)) {
                                 TellExpanded(first);
                             }
                         });
    }
    ~TreeAccessible() override {
        Forget();
        delete m_watch; // gone already with the view, if the view went first
    }

    CTreeCtrlEx* View() const { return m_view; }
    CatalogTreeModel* Model() const { return m_view != nullptr ? m_view->CatalogModel() : nullptr; }
    const CatalogNode* Root() const { return Model() != nullptr ? Model()->Rows().Root() : nullptr; }

    // The item of a shown node (nullptr: the node is not shown).
    QAccessibleInterface* ItemFor(CatalogNode* node) const {
        if (node == nullptr || Model() == nullptr || !Model()->IndexOf(node).isValid()) {
            return nullptr;
        }
        if (const auto known = m_items.find(node); known != m_items.end()) {
            return QAccessible::accessibleInterface(known->second);
        }
        auto* item = new ItemAccessible(const_cast<TreeAccessible&>(*this), *node);
        m_items.emplace(node, QAccessible::registerAccessibleInterface(item));
        return item;
    }

    int childCount() const override {
        const CatalogNode* root = Root();
        return root != nullptr ? static_cast<int>(Model()->Rows().ShownChildCount(*root)) : 0;
    }
    QAccessibleInterface* child(int index) const override {
        const CatalogNode* root = Root();
        return root != nullptr && index >= 0 ? ItemFor(Model()->Rows().ShownChild(*root, std::size_t(index)))
                                             : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* item = dynamic_cast<const ItemAccessible*>(child);
        if (item == nullptr || Root() == nullptr || item->Node()->Parent() != Root()) {
            return -1;
        }
        const auto place = Model()->Rows().PlaceAmongShown(*item->Node());
        return place ? static_cast<int>(*place) : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        if (m_view == nullptr) {
            return nullptr;
        }
        const QPoint at = m_view->viewport()->mapFromGlobal(QPoint(x, y));
        return Model() != nullptr ? ItemFor(Model()->NodeOf(m_view->indexAt(at))) : nullptr;
    }
    // Several items may be selected at once, with Ctrl and Shift.
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.multiSelectable = true;
        state.extSelectable = true;
        return state;
    }
    QAccessibleInterface* focusChild() const override {
        return m_view != nullptr && Model() != nullptr ? ItemFor(Model()->NodeOf(m_view->currentIndex())) : nullptr;
    }

    void Forget() {
        for (const auto& [node, id] : m_items) {
            if (auto* item = dynamic_cast<ItemAccessible*>(QAccessible::accessibleInterface(id))) {
                item->Invalidate();
            }
            QAccessible::deleteAccessibleInterface(id);
        }
        m_items.clear();
    }

private:
    void TellExpanded(const QModelIndex& index) {
        if (!QAccessible::isActive() || Model() == nullptr) {
            return;
        }
        if (QAccessibleInterface* item = ItemFor(Model()->NodeOf(index))) {
            QAccessible::State changed;
            changed.expanded = true;
            changed.collapsed = true;
            QAccessibleStateChangeEvent event(item, changed);
            QAccessible::updateAccessibility(&event);
        }
    }

    QPointer<CTreeCtrlEx> m_view;
    QPointer<QObject> m_watch;
    mutable std::unordered_map<const CatalogNode*, QAccessible::Id> m_items;
};

bool ItemAccessible::isValid() const {
    return m_tree != nullptr && m_tree->View() != nullptr;
}

QModelIndex ItemAccessible::Index() const {
    return isValid() && m_tree->Model() != nullptr ? m_tree->Model()->IndexOf(m_node) : QModelIndex();
}

QWindow* ItemAccessible::window() const {
    return isValid() ? m_tree->View()->window()->windowHandle() : nullptr;
}

QAccessibleInterface* ItemAccessible::parent() const {
    if (!isValid()) {
        return nullptr;
    }
    if (m_node->Parent() == m_tree->Root()) {
        return m_tree;
    }
    return m_tree->ItemFor(m_node->Parent());
}

int ItemAccessible::childCount() const {
    return isValid() && m_tree->Model() != nullptr
               ? static_cast<int>(m_tree->Model()->Rows().ShownChildCount(*m_node))
               : 0;
}

QAccessibleInterface* ItemAccessible::child(int index) const {
    if (!isValid() || m_tree->Model() == nullptr || index < 0) {
        return nullptr;
    }
    return m_tree->ItemFor(m_tree->Model()->Rows().ShownChild(*m_node, static_cast<std::size_t>(index)));
}

int ItemAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* item = dynamic_cast<const ItemAccessible*>(child);
    if (!isValid() || item == nullptr || item->Node()->Parent() != m_node || m_tree->Model() == nullptr) {
        return -1;
    }
    const auto place = m_tree->Model()->Rows().PlaceAmongShown(*item->Node());
    return place ? static_cast<int>(*place) : -1;
}

QAccessibleInterface* ItemAccessible::childAt(int x, int y) const {
    for (int i = 0; i < childCount(); ++i) {
        QAccessibleInterface* below = child(i);
        if (below != nullptr && below->rect().contains(x, y)) {
            return below;
        }
    }
    return nullptr;
}

QString ItemAccessible::text(QAccessible::Text t) const {
    switch (t) {
    case QAccessible::Name:
        return Index().data(Qt::DisplayRole).toString();
    case QAccessible::Description:
        // "found in the text" for a document a search found by its content.
        return Index().data(Qt::AccessibleDescriptionRole).toString();
    default:
        return {};
    }
}

QRect ItemAccessible::rect() const {
    const QModelIndex index = Index();
    if (!index.isValid()) {
        return {};
    }
    const QRect item = m_tree->View()->ItemRect(index);
    return {m_tree->View()->viewport()->mapToGlobal(item.topLeft()), item.size()};
}

QAccessible::State ItemAccessible::state() const {
    QAccessible::State state;
    const QModelIndex index = Index();
    if (!index.isValid()) {
        state.invalid = true;
        return state;
    }
    CTreeCtrlEx* view = m_tree->View();
    state.selectable = true;
    state.focusable = true;
    state.selected = view->selectionModel()->isSelected(index);
    state.focused = view->hasFocus() && view->currentIndex() == index;
    state.offscreen = !view->viewport()->rect().intersects(view->visualRect(index));
    if (m_tree->Model()->HasChildren(m_node)) {
        state.expandable = true;
        state.expanded = m_tree->Model()->IsExpanded(m_node);
        state.collapsed = !state.expanded;
    }
    return state;
}

QStringList ItemAccessible::actionNames() const {
    return isValid() && m_tree->Model()->HasChildren(m_node) ? QStringList{toggleAction()} : QStringList{};
}

void ItemAccessible::doAction(const QString& actionName) {
    if (actionName == toggleAction() && isValid()) {
        m_tree->View()->setExpanded(Index(), !m_tree->Model()->IsExpanded(m_node));
    }
}

QAccessibleInterface* MakeInterface(const QString&, QObject* object) {
    if (auto* view = qobject_cast<CTreeCtrlEx*>(object)) {
        return new TreeAccessible(view);
    }
    return nullptr;
}

TreeAccessible* TreeOf(CTreeCtrlEx* view) {
    return dynamic_cast<TreeAccessible*>(QAccessible::queryAccessibleInterface(view));
}

} // namespace

void InstallTreeAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(MakeInterface);
        return true;
    }();
    (void)installed;
}

void NotifyTreeFocus(CTreeCtrlEx* tree, const QModelIndex& current) {
    if (!QAccessible::isActive()) {
        return;
    }
    TreeAccessible* accessible = TreeOf(tree);
    QAccessibleInterface* item = accessible != nullptr ? accessible->ItemFor(tree->CatalogModel()->NodeOf(current)) : nullptr;
    if (item != nullptr) {
        QAccessibleEvent event(item, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void NotifyTreeSelection(CTreeCtrlEx* tree, const QItemSelection& selected, const QItemSelection& deselected) {
    if (!QAccessible::isActive()) {
        return;
    }
    TreeAccessible* accessible = TreeOf(tree);
    if (accessible == nullptr) {
        return;
    }
    const auto tell = [&](const QModelIndex& index, QAccessible::Event what) {
        if (QAccessibleInterface* item = accessible->ItemFor(tree->CatalogModel()->NodeOf(index))) {
            QAccessibleEvent event(item, what);
            QAccessible::updateAccessibility(&event);
        }
    };
    // One row alone selected is a new selection; otherwise each row that joins or leaves it is
    // told of, up to a screenful, so that Ctrl+A over a large catalog does not flood the reader.
    constexpr int kMostTold = 64;
    const QModelIndexList added = selected.indexes();
    if (tree->selectionModel()->selectedRows().size() == 1 && added.size() == 1) {
        tell(added.first(), QAccessible::Selection);
        return;
    }
    for (int i = 0; i < added.size() && i < kMostTold; ++i) {
        tell(added[i], QAccessible::SelectionAdd);
    }
    const QModelIndexList removed = deselected.indexes();
    for (int i = 0; i < removed.size() && i < kMostTold; ++i) {
        tell(removed[i], QAccessible::SelectionRemove);
    }
}

} // namespace mwdx
