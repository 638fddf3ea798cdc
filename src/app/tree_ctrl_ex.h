#pragma once

// The catalog tree's view: one column of names with their icons, no expand buttons and no
// connecting lines (a catalog opens with a double click), selected one item at a time.

#include <QTreeView>

namespace mwdx {

class CTreeCtrlEx final : public QTreeView {
    Q_OBJECT

public:
    explicit CTreeCtrlEx(QWidget* parent = nullptr);

    // True when `point` (viewport coordinates) lies on the icon or the label of `index`, not
    // merely beside them in the row.
    bool IsOnItem(const QModelIndex& index, const QPoint& point) const;

protected:
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
};

} // namespace mwdx
