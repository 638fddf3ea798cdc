#pragma once

// The catalog tree's view: the rows the catalog model shows, one under the other, each indented by
// its level with its icon and name; no expand buttons and no connecting lines (a catalog opens with
// a double click, Enter, "+" or the right arrow). A click or an arrow selects one row; Ctrl+click,
// Shift+click, Shift+arrows and Ctrl+A select several, the current row among them.
//
// The rows are one flat list (the model keeps which catalogs are open), so a row that comes or goes
// in a catalog of a million open children costs the view what it costs in a small one. The keys
// are a tree's: the arrows walk the rows, Left closes a catalog or goes to the one above, Right
// opens one or goes into it, Home and End go to the first and last row, "+" "-" "*" open, close
// and open everything below; typing a name's first letters goes to it. A screen reader sees a tree
// of items with their level, state and name (tree_accessible.h).

#include <QMimeData>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace mwdx {

class CatalogTreeModel;

// Dragged nodes of this tree travel as their FILE_IDs, separated by commas, in this format.
inline constexpr const char* kNodeMimeType = "application/x-marrowdex-node-id";

class CTreeCtrlEx final : public QTableView {
    Q_OBJECT

public:
    explicit CTreeCtrlEx(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    CatalogTreeModel* CatalogModel() const;

    // A tree's operations on the rows.
    bool isExpanded(const QModelIndex& index) const;
    void setExpanded(const QModelIndex& index, bool expanded);
    void expand(const QModelIndex& index) { setExpanded(index, true); }
    void collapse(const QModelIndex& index) { setExpanded(index, false); }
    // Opens `index` and every catalog below it.
    void expandRecursively(const QModelIndex& index);
    // How far in the row of `index` is drawn: its level times the indentation.
    int Indent(const QModelIndex& index) const;
    int indentation() const { return m_indentation; }

    // True when `point` (viewport coordinates) lies on the icon or the label of `index`, not
    // merely beside them in the row.
    bool IsOnItem(const QModelIndex& index, const QPoint& point) const;
    // Where the icon and the label of `index` are drawn (viewport coordinates).
    QRect ItemRect(const QModelIndex& index) const;
    // What the row of `index` shows after its name: "found in the text" for a document a search
    // found by its content, else nothing. The gap before it and its width, as drawn.
    QString MarkText(const QModelIndex& index) const;
    int MarkGap() const;
    int MarkWidth(const QString& mark) const;

    // What a drag of `index`, or of every node of `indexes`, carries (nullptr for no node); the
    // caller owns it.
    QMimeData* DragData(const QModelIndex& index) const;
    QMimeData* DragData(const QModelIndexList& indexes) const;
    // The FILE_IDs a drag of this tree's nodes carries; empty for anything else.
    static std::vector<std::int64_t> DraggedNodes(const QMimeData* data);

    // The nodes of the selected rows, top row first; the current row's is the one the window
    // shows and names.
    QModelIndexList SelectedRows() const;
    // The selected row that stands for the selection: the current row when it is selected, else
    // the top selected row; invalid when nothing is selected.
    QModelIndex SelectedItem() const;

    // Asked while nodes of this tree (`fileIds`) are dragged over `target` (invalid: the space below
    // the rows): whether letting go there would move any of them. Where it would not, the drag shows
    // the refusal cursor, nothing is framed and a drop does nothing. Without a check every place takes it.
    using DropCheck = std::function<bool(const std::vector<std::int64_t>& fileIds, const QModelIndex& target)>;
    void SetDropCheck(DropCheck check) { m_dropCheck = std::move(check); }

signals:
    // The user asks for the menu at `position` (viewport coordinates): a right click there, or
    // the Menu key (`byKeyboard`), which puts it at the selected item, wherever the mouse is.
    void menuRequested(const QPoint& position, bool byKeyboard);
    // Enter on the current item (a catalog toggles by itself; this is for the window to open a
    // document).
    void enterPressed(const QModelIndex& index);
    // Nodes of this tree (`fileIds`) dropped onto `target` (invalid: empty space, the top level).
    void nodeDropped(const std::vector<std::int64_t>& fileIds, const QModelIndex& target);
    // Local files (full paths) dropped onto `target`, from the file manager or any other program.
    void filesDropped(const QStringList& paths, const QModelIndex& target);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

    // A press beside the items (below the last one, or in a row past its label) takes the focus
    // and nothing else: the selection stays, and so does what the menu acts on.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // A double click on a catalog opens or closes it; beside the items it does nothing.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // What a drag carries that this tree takes: a node of its own, or local files.
    bool Accepts(const QMimeData* data) const;
    // Whether what `data` carries may be let go on `target`: files anywhere, a node where the
    // drop check allows it (asked once for each place the drag comes to).
    bool TakesAt(const QMimeData* data, const QModelIndex& target);
    void SetDropTarget(const QModelIndex& target);
    void MeasureRows();
    void Toggle(const QModelIndex& index);

    int m_indentation = 20;
    bool m_pressedBeside = false; // until the buttons are released
    bool m_selectedBeforeRemoval = false; // while rows go: whether any row was selected
    QPersistentModelIndex m_dropTarget;
    DropCheck m_dropCheck;
    // The last place the drop check was asked about during this drag, and its answer.
    struct CheckedPlace {
        std::vector<std::int64_t> fileIds;
        QPersistentModelIndex target;
        bool takes = false;
    };
    std::optional<CheckedPlace> m_checked;
};

} // namespace mwdx
