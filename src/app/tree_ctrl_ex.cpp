#include "app/tree_ctrl_ex.h"

#include "app/catalog_tree_model.h"
#include "app/prompts.h"
#include "app/tree_accessible.h"
#include "platform/text_ids.h"

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
        const QString mark = m_tree->MarkText(index);
        if (mark.isEmpty()) {
            return;
        }
        // A document a search found by its content says so after its name, quieter than the name.
        QStyleOptionViewItem item = indented;
        initStyleOption(&item, index);
        const QWidget* widget = item.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        const QRect label = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        QRect place = option.rect;
        place.setLeft(label.left() + item.fontMetrics.horizontalAdvance(item.text) + m_tree->MarkGap());
        QFont font = item.font;
        font.setItalic(true);
        painter->save();
        painter->setFont(font);
        // Quieter than the name, and readable on the selection's colour too.
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        QColor colour = item.palette.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text);
        colour.setAlphaF(selected ? 0.8 : 0.55);
        painter->setPen(colour);
        painter->drawText(place, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, mark);
        painter->restore();
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
        const QString mark = m_tree->MarkText(index);
        const int marked = mark.isEmpty() ? 0 : m_tree->MarkGap() + m_tree->MarkWidth(mark);
        return {size.width() + marked + Indent(index), size.height()};
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
    setSelectionMode(QAbstractItemView::ExtendedSelection);
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
    if (model != nullptr) {
        // When the selected rows go, the row that takes the current place is selected, as a
        // tree that selects one row at a time does, so the window shows a node rather than none.
        // Rows that go while nothing is selected leave it so. Connected before the view makes its
        // selection model, which lets go of the rows that go before this hears of them.
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this] { m_selectedBeforeRemoval = selectionModel() != nullptr && selectionModel()->hasSelection(); });
        connect(model, &QAbstractItemModel::rowsRemoved, this, [this] {
            if (m_selectedBeforeRemoval && !selectionModel()->hasSelection() && currentIndex().isValid()) {
                selectionModel()->select(currentIndex(),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            }
            m_selectedBeforeRemoval = false;
        });
    }
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
    int width = iconSize().width() + 4 * margin + fontMetrics().horizontalAdvance(text);
    if (const QString mark = MarkText(index); !mark.isEmpty()) {
        width += MarkGap() + MarkWidth(mark);
    }
    row.setLeft(row.left() + Indent(index));
    row.setWidth(std::min(row.width(), width));
    return row;
}

QString CTreeCtrlEx::MarkText(const QModelIndex& index) const {
    return index.isValid() && index.data(CatalogTreeModel::kContentMatchRole).toBool() ? UiText(text::kFoundInText)
                                                                                       : QString();
}

int CTreeCtrlEx::MarkGap() const {
    return fontMetrics().horizontalAdvance(QLatin1Char('M'));
}

int CTreeCtrlEx::MarkWidth(const QString& mark) const {
    QFont italic = font();
    italic.setItalic(true);
    return QFontMetrics(italic).horizontalAdvance(mark);
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
    if (const QModelIndex selected = SelectedItem(); selected.isValid()) {
        scrollTo(selected);
        const QRect item = ItemRect(selected);
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
    NotifyTreeSelection(this, selected, deselected);
}

QMimeData* CTreeCtrlEx::DragData(const QModelIndex& index) const {
    return DragData(QModelIndexList{index});
}

QMimeData* CTreeCtrlEx::DragData(const QModelIndexList& indexes) const {
    const CatalogTreeModel* catalog = CatalogModel();
    QByteArray ids;
    for (const QModelIndex& index : indexes) {
        if (const CatalogNode* node = catalog != nullptr ? catalog->NodeOf(index) : nullptr) {
            if (!ids.isEmpty()) {
                ids += ',';
            }
            ids += QByteArray::number(static_cast<qlonglong>(node->FileId()));
        }
    }
    if (ids.isEmpty()) {
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setData(QLatin1String(kNodeMimeType), ids);
    return data;
}

std::vector<std::int64_t> CTreeCtrlEx::DraggedNodes(const QMimeData* data) {
    std::vector<std::int64_t> ids;
    if (data == nullptr || !data->hasFormat(QLatin1String(kNodeMimeType))) {
        return ids;
    }
    for (const QByteArray& id : data->data(QLatin1String(kNodeMimeType)).split(',')) {
        bool number = false;
        const qlonglong value = id.toLongLong(&number);
        if (number) {
            ids.push_back(value);
        }
    }
    return ids;
}

QModelIndexList CTreeCtrlEx::SelectedRows() const {
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    return rows;
}

QModelIndex CTreeCtrlEx::SelectedItem() const {
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isSelected(current)) {
        return current;
    }
    const QModelIndexList rows = SelectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

void CTreeCtrlEx::startDrag(Qt::DropActions) {
    // The selected nodes move, the one under the pointer among them; what the drop does is the
    // window's, not the view's, so nothing is taken out of the model when the drag ends.
    const QModelIndexList selected = SelectedRows();
    QMimeData* data = selected.isEmpty() ? nullptr : DragData(selected);
    if (data == nullptr) {
        return;
    }
    const QModelIndex shown = selected.contains(currentIndex()) ? currentIndex() : selected.first();
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(shown.data(Qt::DecorationRole).value<QIcon>().pixmap(iconSize()));
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
    std::vector<std::int64_t> fileIds = DraggedNodes(data);
    if (!m_checked || m_checked->fileIds != fileIds || m_checked->target != target) {
        const bool takes = m_dropCheck(fileIds, target);
        m_checked = CheckedPlace{std::move(fileIds), target, takes};
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
        QTimer::singleShot(0, this,
                           [this, fileIds = DraggedNodes(data), target] { emit nodeDropped(fileIds, target); });
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
