#include "app/tree_ctrl_ex.h"

#include "app/catalog_tree_model.h"
#include "app/tree_accessible.h"

#include <QAccessible>
#include <QApplication>
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
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace mwdx {

namespace {

// Draws a row indented by its level, and measures each name once: the header fits the column to
// the names of up to a thousand rows around the visible ones after every change, and measuring a
// name takes a text layout.
class RowDelegate final : public QStyledItemDelegate {
public:
    explicit RowDelegate(CTreeCtrlEx* tree) : QStyledItemDelegate(tree), m_tree(tree) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + Indent(index));
        // The row's focus frame belongs to the item, not to the indentation before it.
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QString name = index.data(Qt::DisplayRole).toString();
        QSize size;
        if (const auto known = m_sizes.constFind(name); known != m_sizes.constEnd()) {
            size = *known;
        } else {
            if (m_sizes.size() >= kMaxNames) {
                m_sizes.clear();
            }
            size = QStyledItemDelegate::sizeHint(option, index);
            m_sizes.insert(name, size);
        }
        return {size.width() + Indent(index), size.height()};
    }

    void Forget() { m_sizes.clear(); }

private:
    int Indent(const QModelIndex& index) const {
        return index.data(CatalogTreeModel::kLevelRole).toInt() * m_tree->indentation();
    }

    static constexpr qsizetype kMaxNames = 8192;
    CTreeCtrlEx* m_tree;
    mutable QHash<QString, QSize> m_sizes;
};

} // namespace

CTreeCtrlEx::CTreeCtrlEx(QWidget* parent) : QTableView(parent) {
    setObjectName(QStringLiteral("catalogTree"));
    InstallTreeAccessibility();
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false); // Tab leaves the tree, as it leaves any tree
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setItemDelegate(new RowDelegate(this));
    // Every row is as high as the first (measured once, not per node); long names scroll
    // sideways instead of being cut.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Nodes are dragged onto catalogs; files come in from the file manager.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    viewport()->setAcceptDrops(true);
    m_indentation = style()->pixelMetric(QStyle::PM_TreeViewIndentation, nullptr, this);
    MeasureRows();
}

void CTreeCtrlEx::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    MeasureRows();
}

CatalogTreeModel* CTreeCtrlEx::CatalogModel() const {
    return qobject_cast<CatalogTreeModel*>(model());
}

void CTreeCtrlEx::MeasureRows() {
    // A catalog's row: its icon and a line of text, as the style lays out an item.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.text = QStringLiteral("Xg");
    option.decorationSize = iconSize();
    option.icon = QIcon(QPixmap(iconSize()));
    const int height = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(std::max(height, iconSize().height()));
}

bool CTreeCtrlEx::isExpanded(const QModelIndex& index) const {
    const CatalogTreeModel* catalog = CatalogModel();
    return catalog != nullptr && catalog->IsExpanded(catalog->NodeOf(index));
}

void CTreeCtrlEx::setExpanded(const QModelIndex& index, bool expanded) {
    if (CatalogTreeModel* catalog = CatalogModel()) {
        catalog->SetExpanded(catalog->NodeOf(index), expanded);
    }
}

void CTreeCtrlEx::expandRecursively(const QModelIndex& index) {
    if (CatalogTreeModel* catalog = CatalogModel()) {
        catalog->ExpandSubtree(catalog->NodeOf(index));
    }
}

void CTreeCtrlEx::Toggle(const QModelIndex& index) {
    setExpanded(index, !isExpanded(index));
}

int CTreeCtrlEx::Indent(const QModelIndex& index) const {
    return index.isValid() ? index.data(CatalogTreeModel::kLevelRole).toInt() * m_indentation : 0;
}

QRect CTreeCtrlEx::ItemRect(const QModelIndex& index) const {
    if (!index.isValid()) {
        return {};
    }
    QRect row = visualRect(index);
    const QString text = index.data(Qt::DisplayRole).toString();
    // The item's icon and text, with the small margins the style draws around them.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int width = iconSize().width() + 4 * margin + fontMetrics().horizontalAdvance(text);
    row.setLeft(row.left() + Indent(index));
    row.setWidth(std::min(row.width(), width));
    return row;
}

bool CTreeCtrlEx::IsOnItem(const QModelIndex& index, const QPoint& point) const {
    return index.isValid() && ItemRect(index).contains(point);
}

QModelIndex CTreeCtrlEx::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // A tree's Home and End go to its first and last row; a table's only to the row's ends.
    const int rows = model() != nullptr ? model()->rowCount() : 0;
    if (cursorAction == MoveHome && rows > 0) {
        return model()->index(0, 0);
    }
    if (cursorAction == MoveEnd && rows > 0) {
        return model()->index(rows - 1, 0);
    }
    if (cursorAction == MoveLeft || cursorAction == MoveRight) {
        return currentIndex();
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

void CTreeCtrlEx::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() != QContextMenuEvent::Keyboard) {
        emit menuRequested(event->pos(), false);
        return;
    }
    // At the selected item's icon, not at the middle of its row, which is as wide as the
    // longest name.
    QPoint at;
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (!selected.isEmpty()) {
        scrollTo(selected.first());
        const QRect item = ItemRect(selected.first());
        at = QPoint(item.left() + iconSize().width() / 2, item.center().y());
    }
    emit menuRequested(viewport()->rect().contains(at) ? at : QPoint(), true);
}

void CTreeCtrlEx::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    m_pressedBeside = !IsOnItem(indexAt(point), point);
    if (!m_pressedBeside) {
        QTableView::mousePressEvent(event);
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
    QTableView::mouseMoveEvent(event);
}

void CTreeCtrlEx::mouseReleaseEvent(QMouseEvent* event) {
    if (m_pressedBeside) {
        m_pressedBeside = event->buttons() != Qt::NoButton;
        event->accept();
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

void CTreeCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    const QModelIndex index = indexAt(point);
    if (!IsOnItem(index, point)) {
        mousePressEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        Toggle(index);
    }
    QTableView::mouseDoubleClickEvent(event);
}

void CTreeCtrlEx::keyPressEvent(QKeyEvent* event) {
    const QModelIndex current = currentIndex();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool plain = modifiers == Qt::NoModifier;
    CatalogTreeModel* catalog = CatalogModel();
    CatalogNode* node = catalog != nullptr ? catalog->NodeOf(current) : nullptr;
    if (node == nullptr) {
        QTableView::keyPressEvent(event);
        return;
    }
    const bool open = catalog->IsExpanded(node);
    const bool canOpen = catalog->HasChildren(node);
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!plain) {
            break;
        }
        event->accept();
        if (canOpen) {
            Toggle(current);
        }
        emit enterPressed(current);
        return;
    case Qt::Key_Plus:
        event->accept();
        setExpanded(current, true);
        return;
    case Qt::Key_Minus:
        event->accept();
        setExpanded(current, false);
        return;
    case Qt::Key_Asterisk:
        event->accept();
        expandRecursively(current);
        return;
    case Qt::Key_Left:
        if (!plain) {
            break;
        }
        event->accept();
        if (open) {
            setExpanded(current, false);
        } else if (const QModelIndex up = catalog->IndexOf(node->Parent()); up.isValid()) {
            setCurrentIndex(up);
        }
        return;
    case Qt::Key_Right:
        if (!plain) {
            break;
        }
        event->accept();
        if (canOpen && !open) {
            setExpanded(current, true);
        } else if (open && canOpen) {
            setCurrentIndex(model()->index(current.row() + 1, 0));
        }
        return;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

void CTreeCtrlEx::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // The table's own notice would name a table cell; a screen reader is told of the tree item.
    QAbstractItemView::currentChanged(current, previous);
    if (hasFocus()) {
        NotifyTreeFocus(this, current);
    }
}

void CTreeCtrlEx::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QAbstractItemView::selectionChanged(selected, deselected);
    NotifyTreeSelection(this, selected);
}

QMimeData* CTreeCtrlEx::DragData(const QModelIndex& index) const {
    const CatalogTreeModel* catalog = CatalogModel();
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

bool CTreeCtrlEx::TakesAt(const QMimeData* data, const QModelIndex& target) {
    if (!Accepts(data)) {
        return false;
    }
    if (!data->hasFormat(QLatin1String(kNodeMimeType)) || !m_dropCheck) {
        return true;
    }
    const std::int64_t fileId = data->data(QLatin1String(kNodeMimeType)).toLongLong();
    if (!m_checked || m_checked->fileId != fileId || m_checked->target != target) {
        m_checked = CheckedPlace{fileId, target, m_dropCheck(fileId, target)};
    }
    return m_checked->takes;
}

void CTreeCtrlEx::SetDropTarget(const QModelIndex& target) {
    if (target != m_dropTarget) {
        m_dropTarget = target;
        viewport()->update();
    }
}

void CTreeCtrlEx::dragEnterEvent(QDragEnterEvent* event) {
    m_checked.reset(); // the catalog may have changed since the last drag
    if (Accepts(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CTreeCtrlEx::dragMoveEvent(QDragMoveEvent* event) {
    // The base scrolls near the edges; where the node may go is ours to say.
    QTableView::dragMoveEvent(event);
    const QModelIndex target = indexAt(event->position().toPoint());
    if (!TakesAt(event->mimeData(), target)) {
        // The refusal cursor, and no frame that would promise otherwise.
        event->ignore();
        SetDropTarget({});
        return;
    }
    const bool ownNode = event->mimeData()->hasFormat(QLatin1String(kNodeMimeType));
    event->setDropAction(ownNode ? Qt::MoveAction : event->proposedAction());
    event->accept();
    SetDropTarget(target);
}

void CTreeCtrlEx::dragLeaveEvent(QDragLeaveEvent* event) {
    QTableView::dragLeaveEvent(event);
    m_checked.reset();
    SetDropTarget({});
}

void CTreeCtrlEx::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (!m_dropTarget.isValid()) {
        return;
    }
    // Around the item's icon and name, where the node or files will go.
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(ItemRect(m_dropTarget).adjusted(1, 1, -1, -1));
}

void CTreeCtrlEx::dropEvent(QDropEvent* event) {
    SetDropTarget({});
    stopAutoScroll();
    setState(NoState);
    const QMimeData* data = event->mimeData();
    const QPersistentModelIndex target = indexAt(event->position().toPoint());
    const bool takes = TakesAt(data, target);
    m_checked.reset();
    if (!takes) {
        event->ignore();
        return;
    }
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

void CTreeCtrlEx::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        static_cast<RowDelegate*>(itemDelegate())->Forget();
        m_indentation = style()->pixelMetric(QStyle::PM_TreeViewIndentation, nullptr, this);
        MeasureRows();
    }
    QTableView::changeEvent(event);
}

} // namespace mwdx
