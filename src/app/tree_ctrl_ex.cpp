#include "app/tree_ctrl_ex.h"

#include <QHeaderView>

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

void CTreeCtrlEx::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {
    // Nothing: the tree shows neither expand buttons nor lines.
}

} // namespace mwdx
