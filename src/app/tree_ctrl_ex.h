#pragma once

// The catalog tree's view: one column of names with their icons, no expand buttons and no
// connecting lines (a catalog opens with a double click), selected one item at a time.
//
// QTreeView lays out every expanded row again whenever a row comes or goes, which in a catalog of
// a million expanded children costs a good part of a second per command. Catalogs only ever gain
// children at the end of a parent's list, so this view puts new rows into its layout in place,
// and takes removed rows out in place, touching only the rows that changed (and the rows' places
// after them); anything else is left to QTreeView.

#include <QMimeData>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QTreeView>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mwdx {

// A dragged node of this tree travels as its FILE_ID, in this format.
inline constexpr const char* kNodeMimeType = "application/x-marrowdex-node-id";

class CTreeCtrlEx final : public QTreeView {
    Q_OBJECT

public:
    explicit CTreeCtrlEx(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    // True when `point` (viewport coordinates) lies on the icon or the label of `index`, not
    // merely beside them in the row.
    bool IsOnItem(const QModelIndex& index, const QPoint& point) const;

    // What a drag of `index` carries (nullptr for no node); the caller owns it.
    QMimeData* DragData(const QModelIndex& index) const;

    // How often the view has laid out all its rows anew since it was made (a statistic for tests:
    // a command in a wide catalog must not cost that).
    std::size_t FullLayouts() const { return m_fullLayouts; }

    void doItemsLayout() override;

signals:
    // The user asks for the menu at `position` (viewport coordinates): a right click there, or
    // the Menu key (`byKeyboard`), which puts it at the selected item, wherever the mouse is.
    void menuRequested(const QPoint& position, bool byKeyboard);
    // Enter on the current item (a catalog toggles by itself; this is for the window to open a
    // document).
    void enterPressed(const QModelIndex& index);
    // A node of this tree (`fileId`) dropped onto `target` (invalid: empty space, the top level).
    void nodeDropped(std::int64_t fileId, const QModelIndex& target);
    // Local files (full paths) dropped onto `target`, from the file manager or any other program.
    void filesDropped(const QStringList& paths, const QModelIndex& target);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    // The row a drag would drop onto is framed.
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // A press beside the items (below the last one, or in a row past its label) takes the focus
    // and nothing else: the selection stays, and so does what the menu acts on. (A double click
    // there reaches the press handler too, so it opens nothing.)
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // What a drag carries that this tree takes: a node of its own, or local files.
    bool Accepts(const QMimeData* data) const;
    void OnRowsRemoved(const QModelIndex& parent, int start, int end);
    bool CanUpdateInPlace() const;
    bool AppendInPlace(const QModelIndex& parent, int start, int end);
    // Under a search, lays out every shown row straight from the model's lists, as QTreeView's
    // own layout would; false (nothing done) when it cannot.
    bool LayOutShownRows();

    // The layout's rows that the removal announced in rowsAboutToBeRemoved takes away.
    struct PendingRemoval {
        bool inPlace = false;
        int parentItem = -1; // the parent's row in the layout; -1: the top level
        int firstItem = 0;   // the first row taken away
        int items = 0;       // rows taken away, the removed nodes' shown descendants included
        int layoutSize = 0;  // the layout's size when announced, to see that nothing came between
        bool parentShown = false;
    };
    PendingRemoval m_removal;
    std::size_t m_fullLayouts = 0;
    bool m_pressedBeside = false; // until the buttons are released
    QPersistentModelIndex m_dropTarget;
};

} // namespace mwdx
