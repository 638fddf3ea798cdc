// The catalog tree's right-click menu, the dispatch of its commands and the comment pane.

#include "app/marrowdex_dlg.h"
#include "app/tree_ctrl_ex.h"
#include "platform/string_table.h"
#include "platform/text_ids.h"

#include <QMenu>
#include <array>

namespace mwdx {

namespace {

struct MenuItem {
    int commandId;
    int textId;
    void (CMarrowdexDlg::*handler)();
};

// Top to bottom as the menu shows them. Every item is always offered; each command decides for
// itself what it can do with the selection.
constexpr std::array<MenuItem, 7> kMenuItems{{
    {kCmdAddSubCatalog, text::kAddSubCatalog, &CMarrowdexDlg::AddSubCatalog},
    {kCmdAddNeighbourCatalog, text::kAddNeighbourCatalog, &CMarrowdexDlg::AddNeighbourCatalog},
    {kCmdAddDocumentToRoot, text::kAddDocumentToRoot, &CMarrowdexDlg::AddDocumentToRoot},
    {kCmdAddDocumentHere, text::kAddDocumentHere, &CMarrowdexDlg::AddDocumentHere},
    {kCmdEditNode, text::kUpdate, &CMarrowdexDlg::EditSelectedNode},
    {kCmdDeleteNode, text::kDelete, &CMarrowdexDlg::DeleteSelectedNode},
    {kCmdImportFolder, text::kImportFolder, &CMarrowdexDlg::ImportFolder},
}};

} // namespace

void CMarrowdexDlg::OnTreeRightClick(const QPoint& position, bool byKeyboard) {
    // A click on an item's icon or label acts on that item; beside the items, and from the
    // keyboard, on the selection.
    const QModelIndex hit = byKeyboard ? QModelIndex() : m_tree->indexAt(position);
    m_menuBelowItems = !byKeyboard && !hit.isValid();
    if (m_tree->IsOnItem(hit, position)) {
        m_tree->setFocus(Qt::MouseFocusReason);
        SelectItem(hit);
    }

    QMenu menu(this);
    menu.setObjectName(QStringLiteral("treeMenu"));
    for (const MenuItem& item : kMenuItems) {
        QAction* action = menu.addAction(QString::fromStdU16String(UiString(item.textId)));
        action->setData(item.commandId);
    }
    // The command runs once the menu has closed, as a command chosen from any menu does.
    const QAction* chosen = menu.exec(m_tree->viewport()->mapToGlobal(position));
    if (chosen != nullptr) {
        OnCommand(chosen->data().toInt());
    }
    m_menuBelowItems = false;
}

void CMarrowdexDlg::OnCommand(int commandId) {
    for (const MenuItem& item : kMenuItems) {
        if (item.commandId == commandId) {
            (this->*item.handler)();
            return;
        }
    }
}

void CMarrowdexDlg::OnTreeSelect() {
    // Whatever the notification, the pane shows the comment of the item selected now; with
    // nothing selected it keeps what it shows.
    const CatalogNode* node = ItemNode(GetSelectedItem());
    if (node != nullptr) {
        SetCommentText(node->Details().comment);
    }
}

} // namespace mwdx
