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

signals:
    // The user asks for the menu at `position` (viewport coordinates): a right click there, or
    // the Menu key (`byKeyboard`), which puts it at the selected item, wherever the mouse is.
    void menuRequested(const QPoint& position, bool byKeyboard);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    // A press beside the items (below the last one, or in a row past its label) takes the focus
    // and nothing else: the selection stays, and so does what the menu acts on. (A double click
    // there reaches the press handler too, so it opens nothing.)
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressedBeside = false; // until the buttons are released
};

} // namespace mwdx
