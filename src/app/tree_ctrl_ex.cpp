#include "app/tree_ctrl_ex.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

namespace mwdx {

CTreeCtrlEx::CTreeCtrlEx(QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("catalogTree"));
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true); // rows are measured once, not per node
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    // Long names scroll sideways instead of being cut.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
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

void CTreeCtrlEx::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {
    // Nothing: the tree shows neither expand buttons nor lines.
}

} // namespace mwdx
