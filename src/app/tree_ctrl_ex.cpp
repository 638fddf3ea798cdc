#include "app/tree_ctrl_ex.h"

#include "app/catalog_tree_model.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>
#include <QtWidgets/private/qtreeview_p.h>
#include <algorithm>
#include <utility>

// The in-place updates below work on QTreeView's own layout rows; they follow Qt 6.4's
// QTreeViewPrivate and must be checked against any other version's before it is used.
static_assert(QT_VERSION >= QT_VERSION_CHECK(6, 4, 0) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0),
              "check CTreeCtrlEx's in-place row updates against this Qt's QTreeViewPrivate");

namespace mwdx {

namespace {

// The header fits the column to the names of up to a thousand rows around the visible ones after
// every change; measuring a name takes a text layout, so each width is measured once.
class NameWidthCache final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QString name = index.data(Qt::DisplayRole).toString();
        if (const auto known = m_sizes.constFind(name); known != m_sizes.constEnd()) {
            return *known;
        }
        if (m_sizes.size() >= kMaxNames) {
            m_sizes.clear();
        }
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        m_sizes.insert(name, size);
        return size;
    }

    void Forget() { m_sizes.clear(); }

private:
    static constexpr qsizetype kMaxNames = 8192;
    mutable QHash<QString, QSize> m_sizes;
};

} // namespace

CTreeCtrlEx::CTreeCtrlEx(QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("catalogTree"));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true); // rows are measured once, not per node
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setItemDelegate(new NameWidthCache(this));
    // Long names scroll sideways instead of being cut.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Nodes are dragged onto catalogs; files come in from the file manager.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    viewport()->setAcceptDrops(true);
}

void CTreeCtrlEx::setModel(QAbstractItemModel* model) {
    if (QAbstractItemModel* old = this->model()) {
        disconnect(old, &QAbstractItemModel::rowsRemoved, this, &CTreeCtrlEx::OnRowsRemoved);
    }
    QTreeView::setModel(model);
    if (model != nullptr) {
        // QTreeView's own handler throws the whole layout away; ours decides first. Qt 6.4 makes
        // that connection by name.
        disconnect(model, SIGNAL(rowsRemoved(QModelIndex, int, int)), this, SLOT(rowsRemoved(QModelIndex, int, int)));
        connect(model, &QAbstractItemModel::rowsRemoved, this, &CTreeCtrlEx::OnRowsRemoved);
    }
}

bool CTreeCtrlEx::IsOnItem(const QModelIndex& index, const QPoint& point) const {
    if (!index.isValid()) {
        return false;
    }
    const QRect row = visualRect(index);
    const QString text = index.data(Qt::DisplayRole).toString();
    // The item's icon and text, with the small margins the style draws around them.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int width = iconSize().width() + 4 * margin + fontMetrics().horizontalAdvance(text);
    return row.contains(point) && point.x() < row.left() + width;
}

void CTreeCtrlEx::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() != QContextMenuEvent::Keyboard) {
        emit menuRequested(event->pos(), false);
        return;
    }
    // Qt would place it at the middle of the item's row, which is as wide as the longest name.
    QPoint at;
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (!selected.isEmpty()) {
        scrollTo(selected.first());
        const QRect row = visualRect(selected.first());
        at = QPoint(row.left() + iconSize().width() / 2, row.center().y());
    }
    emit menuRequested(viewport()->rect().contains(at) ? at : QPoint(), true);
}

void CTreeCtrlEx::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    m_pressedBeside = !IsOnItem(indexAt(point), point);
    if (!m_pressedBeside) {
        QTreeView::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void CTreeCtrlEx::mouseMoveEvent(QMouseEvent* event) {
    // Dragging on from a press beside the items selects nothing on the way.
    if (m_pressedBeside && event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void CTreeCtrlEx::mouseReleaseEvent(QMouseEvent* event) {
    if (m_pressedBeside) {
        m_pressedBeside = event->buttons() != Qt::NoButton;
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void CTreeCtrlEx::keyPressEvent(QKeyEvent* event) {
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                       (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const QModelIndex current = currentIndex();
    if (!enter || !current.isValid()) {
        QTreeView::keyPressEvent(event);
        return;
    }
    event->accept();
    if (model()->hasChildren(current)) {
        setExpanded(current, !isExpanded(current));
    }
    emit enterPressed(current);
}

QMimeData* CTreeCtrlEx::DragData(const QModelIndex& index) const {
    const auto* catalog = qobject_cast<const CatalogTreeModel*>(model());
    const CatalogNode* node = catalog != nullptr ? catalog->NodeOf(index) : nullptr;
    if (node == nullptr) {
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setData(QLatin1String(kNodeMimeType), QByteArray::number(static_cast<qlonglong>(node->FileId())));
    return data;
}

void CTreeCtrlEx::startDrag(Qt::DropActions) {
    // Only the selected node moves; what the drop does is the window's, not the view's, so
    // nothing is taken out of the model when the drag ends.
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    QMimeData* data = selected.isEmpty() ? nullptr : DragData(selected.first());
    if (data == nullptr) {
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(selected.first().data(Qt::DecorationRole).value<QIcon>().pixmap(iconSize()));
    drag->exec(Qt::MoveAction);
}

bool CTreeCtrlEx::Accepts(const QMimeData* data) const {
    if (data == nullptr) {
        return false;
    }
    if (data->hasFormat(QLatin1String(kNodeMimeType))) {
        return true;
    }
    const QList<QUrl> urls = data->urls();
    return !urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void CTreeCtrlEx::dragEnterEvent(QDragEnterEvent* event) {
    if (Accepts(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CTreeCtrlEx::dragMoveEvent(QDragMoveEvent* event) {
    // The base scrolls near the edges; where the node may go is ours to say.
    QTreeView::dragMoveEvent(event);
    if (!Accepts(event->mimeData())) {
        event->ignore();
        return;
    }
    const bool ownNode = event->mimeData()->hasFormat(QLatin1String(kNodeMimeType));
    event->setDropAction(ownNode ? Qt::MoveAction : event->proposedAction());
    event->accept();
    const QModelIndex target = indexAt(event->position().toPoint());
    if (target != m_dropTarget) {
        m_dropTarget = target;
        viewport()->update();
    }
}

void CTreeCtrlEx::dragLeaveEvent(QDragLeaveEvent* event) {
    QTreeView::dragLeaveEvent(event);
    m_dropTarget = QPersistentModelIndex();
    viewport()->update();
}

void CTreeCtrlEx::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QTreeView::drawRow(painter, option, index);
    if (index == m_dropTarget) {
        // Around the item's icon and name, where the node or files will go.
        const QString text = index.data(Qt::DisplayRole).toString();
        QRect frame = visualRect(index);
        frame.setWidth(std::min(frame.width(), iconSize().width() + 8 + fontMetrics().horizontalAdvance(text) + 4));
        painter->save();
        painter->setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter->drawRect(frame.adjusted(1, 1, -1, -1));
        painter->restore();
    }
}

void CTreeCtrlEx::dropEvent(QDropEvent* event) {
    m_dropTarget = QPersistentModelIndex();
    viewport()->update();
    stopAutoScroll();
    setState(NoState);
    const QMimeData* data = event->mimeData();
    if (!Accepts(data)) {
        event->ignore();
        return;
    }
    const QPersistentModelIndex target = indexAt(event->position().toPoint());
    const bool ownNode = data->hasFormat(QLatin1String(kNodeMimeType));
    event->setDropAction(ownNode ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    // The command runs once the drag has ended: it may show windows, which a drag in progress
    // must not wait on.
    if (ownNode) {
        const std::int64_t fileId = data->data(QLatin1String(kNodeMimeType)).toLongLong();
        QTimer::singleShot(0, this, [this, fileId, target] { emit nodeDropped(fileId, target); });
        return;
    }
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        paths << url.toLocalFile();
    }
    QTimer::singleShot(0, this, [this, paths, target] { emit filesDropped(paths, target); });
}

void CTreeCtrlEx::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {
    // Nothing: the tree shows neither expand buttons nor lines.
}

void CTreeCtrlEx::doItemsLayout() {
    ++m_fullLayouts;
    if (LayOutShownRows()) {
        QAbstractItemView::doItemsLayout();
        header()->doItemsLayout();
        return;
    }
    QTreeView::doItemsLayout();
}

void CTreeCtrlEx::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        static_cast<NameWidthCache*>(itemDelegate())->Forget();
    }
    QTreeView::changeEvent(event);
}

namespace {

QTreeViewPrivate& Private(QObjectData* data) {
    return *static_cast<QTreeViewPrivate*>(data);
}

// The layout row showing `index`, found by walking down from the top through the shown rows of
// its ancestors; -1 when it is not shown (an ancestor is collapsed). -1 also for the view's root.
int LayoutRowOf(const QTreeViewPrivate& d, const QModelIndex& index, const QModelIndex& root) {
    QModelIndexList path;
    for (QModelIndex i = index; i.isValid() && i != root; i = i.parent()) {
        path.prepend(i);
    }
    int parentItem = -1;
    for (const QModelIndex& step : path) {
        if (parentItem >= 0 && !d.viewItems.at(parentItem).expanded) {
            return -1;
        }
        int item = parentItem + 1;
        for (int row = 0; row < step.row(); ++row) {
            if (item >= d.viewItems.size() || d.viewItems.at(item).parentItem != parentItem) {
                return -1;
            }
            item += 1 + static_cast<int>(d.viewItems.at(item).total);
        }
        if (item >= d.viewItems.size() || d.viewItems.at(item).index != step) {
            return -1;
        }
        parentItem = item;
    }
    return parentItem;
}

// The child of `parentItem` whose shown rows include `item`.
int ChildHolding(const QTreeViewPrivate& d, int item, int parentItem) {
    while (item >= 0 && d.viewItems.at(item).parentItem != parentItem) {
        item = d.viewItems.at(item).parentItem;
    }
    return item;
}

void AddToTotals(QTreeViewPrivate& d, int item, int delta) {
    for (; item >= 0; item = d.viewItems.at(item).parentItem) {
        d.viewItems[item].total = static_cast<uint>(static_cast<int>(d.viewItems.at(item).total) + delta);
    }
}

} // namespace

bool CTreeCtrlEx::CanUpdateInPlace() const {
    const QTreeViewPrivate& d = Private(d_ptr.data());
    // A layout already due redoes everything anyway; rows of other heights, hidden or spanning
    // rows, an animation or an assistive tool need what QTreeView does itself.
    return !d.delayedPendingLayout && d.uniformRowHeights && d.defaultItemHeight > 0 && !d.viewItems.isEmpty() &&
           d.hiddenIndexes.isEmpty() && d.spanningIndexes.isEmpty() && state() != AnimatingState &&
           !QAccessible::isActive();
}

bool CTreeCtrlEx::LayOutShownRows() {
    QTreeViewPrivate& d = Private(d_ptr.data());
    const auto* catalog = qobject_cast<const CatalogTreeModel*>(model());
    // What QTreeView's own layout takes care of besides the rows is left to it.
    if (catalog == nullptr || !catalog->Filtering() || rootIndex().isValid() || d.hasRemovedItems ||
        !d.uniformRowHeights || d.defaultItemHeight <= 0 || !d.hiddenIndexes.isEmpty() ||
        !d.spanningIndexes.isEmpty() || QAccessible::isActive()) {
        return false;
    }
    const std::vector<CatalogNode*>* top = catalog->ShownChildren(nullptr);
    if (top == nullptr) {
        return false;
    }
    // Depth first, each row before its shown children; a row's total is known once they are out.
    struct Level {
        const std::vector<CatalogNode*>* children;
        std::size_t next = 0;
        int parentItem = -1;
    };
    QList<QTreeViewItem> items;
    items.reserve(static_cast<qsizetype>(catalog->ShownNodes()));
    std::vector<Level> stack{{top, 0, -1}};
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.children->size()) {
            if (level.parentItem >= 0) {
                items[level.parentItem].total = static_cast<uint>(items.size() - level.parentItem - 1);
            }
            stack.pop_back();
            continue;
        }
        const std::size_t row = level.next++;
        // Each node is a cache miss; asking for one a few rows ahead lets them overlap.
        if (row + 8 < level.children->size()) {
            __builtin_prefetch((*level.children)[row + 8]);
        }
        CatalogNode* node = (*level.children)[row];
        QTreeViewItem item;
        item.index = catalog->MakeIndex(static_cast<int>(row), node);
        item.parentItem = level.parentItem;
        item.level = static_cast<uint>(stack.size() - 1);
        item.hasMoreSiblings = row + 1 < level.children->size();
        const std::vector<CatalogNode*>* below = node->FirstChild() != nullptr ? catalog->ShownChildren(node) : nullptr;
        if (node->FirstChild() != nullptr && below == nullptr && catalog->hasChildren(item.index)) {
            return false; // a list with gaps: Qt's walk handles it
        }
        item.hasChildren = below != nullptr && !below->empty();
        item.expanded = item.hasChildren && d.isIndexExpanded(item.index);
        items.append(item);
        if (item.expanded) {
            stack.push_back({below, 0, static_cast<int>(items.size() - 1)});
        }
    }
    d.viewItems = std::move(items);
    d.lastViewedItem = 0;
    return true;
}

bool CTreeCtrlEx::AppendInPlace(const QModelIndex& parent, int start, int end) {
    QTreeViewPrivate& d = Private(d_ptr.data());
    if (!CanUpdateInPlace() || (parent.isValid() && parent.column() != 0) || end != model()->rowCount(parent) - 1) {
        return false;
    }
    int parentItem = -1;
    if (parent != rootIndex()) {
        if (!isExpanded(parent)) {
            return false; // QTreeView only marks the parent, which costs nothing
        }
        parentItem = LayoutRowOf(d, parent, rootIndex());
        if (parentItem < 0 || !d.viewItems.at(parentItem).expanded) {
            return false; // QTreeView only marks the parent, which costs nothing
        }
    }
    const int count = end - start + 1;
    const int position =
        parentItem < 0 ? static_cast<int>(d.viewItems.size()) : parentItem + 1 + int(d.viewItems.at(parentItem).total);
    if (start > 0) {
        const int previous = ChildHolding(d, position - 1, parentItem);
        if (previous < 0 || d.viewItems.at(previous).index.row() != start - 1) {
            return false;
        }
        d.viewItems[previous].hasMoreSiblings = true;
    }
    QTreeViewItem item;
    item.parentItem = parentItem;
    item.level = parentItem < 0 ? 0 : d.viewItems.at(parentItem).level + 1;
    d.insertViewItems(position, count, item);
    for (int k = 0; k < count; ++k) {
        QTreeViewItem& added = d.viewItems[position + k];
        added.index = model()->index(start + k, 0, parent);
        added.hasChildren = d.hasVisibleChildren(added.index);
        added.hasMoreSiblings = k + 1 < count;
    }
    AddToTotals(d, parentItem, count);
    return true;
}

void CTreeCtrlEx::rowsInserted(const QModelIndex& parent, int start, int end) {
    if (!AppendInPlace(parent, start, end)) {
        QTreeView::rowsInserted(parent, start, end);
        return;
    }
    QAbstractItemView::rowsInserted(parent, start, end);
    updateGeometries();
    viewport()->update();
}

void CTreeCtrlEx::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    QTreeViewPrivate& d = Private(d_ptr.data());
    m_removal = {};
    if (CanUpdateInPlace() && (!parent.isValid() || parent.column() == 0)) {
        PendingRemoval removal;
        removal.inPlace = true;
        removal.layoutSize = static_cast<int>(d.viewItems.size());
        const bool atTop = parent == rootIndex();
        if (atTop || isExpanded(parent)) {
            // The removed rows and their shown descendants, one block. The first is usually the
            // selected row, which the view has just looked at; its parent's row comes with it.
            const int first = d.viewIndex(model()->index(start, 0, parent));
            if (first >= 0) {
                removal.parentItem = d.viewItems.at(first).parentItem;
                removal.parentShown = true;
                int item = first;
                for (int row = start; row <= end && item >= 0; ++row) {
                    if (item >= d.viewItems.size() || d.viewItems.at(item).index.row() != row ||
                        d.viewItems.at(item).parentItem != removal.parentItem) {
                        item = -1;
                    } else {
                        item += 1 + static_cast<int>(d.viewItems.at(item).total);
                    }
                }
                const bool parentFits =
                    atTop ? removal.parentItem == -1
                          : removal.parentItem >= 0 && d.viewItems.at(removal.parentItem).index == parent;
                removal.inPlace = item >= 0 && parentFits;
                removal.firstItem = first;
                removal.items = item - first;
            } else {
                // Not shown: a collapsed ancestor hides it (a top-level row is always shown).
                removal.inPlace = !atTop;
            }
        } else if (model()->rowCount(parent) == end - start + 1) {
            // A collapsed catalog loses its last children: only its own row changes.
            removal.parentItem = d.viewIndex(parent);
            removal.parentShown = removal.parentItem >= 0;
        }
        if (removal.inPlace) {
            m_removal = removal;
        }
    }
    if (m_removal.inPlace) {
        QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    } else {
        QTreeView::rowsAboutToBeRemoved(parent, start, end);
    }
}

void CTreeCtrlEx::OnRowsRemoved(const QModelIndex& parent, int start, int end) {
    QTreeViewPrivate& d = Private(d_ptr.data());
    const PendingRemoval removal = std::exchange(m_removal, {});
    if (!removal.inPlace || d.delayedPendingLayout || d.viewItems.size() != removal.layoutSize) {
        rowsRemoved(parent, start, end);
        return;
    }
    const int count = end - start + 1;
    const int rowsLeft = model()->rowCount(parent);
    if (removal.parentShown && removal.items > 0) {
        // The layout rows after the removed block move up by the block's size; then one pass: a
        // parent row past the block moves up with it, and the removed rows' later siblings, whose
        // model rows moved up, get their new indexes. Our model's index is its row and node, so
        // it is made from the old one instead of being looked up (for half a million later
        // siblings, the look-ups were most of the work).
        const QAbstractItemModel* rows = model();
        const auto* catalog = qobject_cast<const CatalogTreeModel*>(rows);
        const int from = removal.firstItem;
        const int gone = removal.items;
        const int size = static_cast<int>(d.viewItems.size());
        d.viewItems.remove(from, gone); // one move of the rows after the block
        QTreeViewItem* items = d.viewItems.data();
        for (int item = from; item < size - gone; ++item) {
            QTreeViewItem& moved = items[item];
            if (moved.parentItem >= from) {
                moved.parentItem -= gone;
            } else if (moved.parentItem == removal.parentItem) {
                const QModelIndex old = moved.index;
                moved.index = catalog != nullptr
                                  ? catalog->MakeIndex(old.row() - count, static_cast<CatalogNode*>(old.internalPointer()))
                                  : rows->index(old.row() - count, 0, parent);
            }
        }
        AddToTotals(d, removal.parentItem, -gone);
        if (start == rowsLeft && start > 0) {
            const int previous = ChildHolding(d, removal.firstItem - 1, removal.parentItem);
            if (previous >= 0) {
                d.viewItems[previous].hasMoreSiblings = false;
            }
        }
    }
    if (removal.parentItem >= 0 && rowsLeft == 0) {
        d.viewItems[removal.parentItem].hasChildren = false;
    }
    if (d.viewItems.isEmpty()) {
        scheduleDelayedItemsLayout();
    }
    d.lastViewedItem = std::max(0, std::min(d.lastViewedItem, static_cast<int>(d.viewItems.size()) - 1));
    d.hasRemovedItems = true; // the next full layout forgets expanded rows that are gone
    setState(NoState);
    updateEditorGeometries();
    updateGeometries();
    viewport()->update();
}

} // namespace mwdx
