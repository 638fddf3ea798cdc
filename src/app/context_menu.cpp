// The catalog tree's right-click menu, the dispatch of its commands and the comment pane.

#include "app/marrowdex_dlg.h"
#include "app/tree_ctrl_ex.h"
#include "platform/string_table.h"
#include "platform/text_ids.h"

#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <array>

namespace mwdx {

namespace {

struct MenuItem {
    int commandId;
    int textId;
    void (CMarrowdexDlg::*handler)();
    int key = 0;               // the key shown beside it (0: none)
    bool keyIsShortcut = true; // the key runs it in the tree (Enter is the tree's own)
    bool separatorBefore = false;
};

// Top to bottom as the menu shows them. Every item is always offered; each command decides for
// itself what it can do with the selection.
constexpr std::array<MenuItem, 10> kMenuItems{{
    {kCmdAddSubCatalog, text::kAddSubCatalog, &CMarrowdexDlg::AddSubCatalog, Qt::Key_Insert},
    {kCmdAddNeighbourCatalog, text::kAddNeighbourCatalog, &CMarrowdexDlg::AddNeighbourCatalog},
    {kCmdAddDocumentToRoot, text::kAddDocumentToRoot, &CMarrowdexDlg::AddDocumentToRoot},
    {kCmdAddDocumentHere, text::kAddDocumentHere, &CMarrowdexDlg::AddDocumentHere},
    {kCmdEditNode, text::kUpdate, &CMarrowdexDlg::EditSelectedNode, Qt::Key_F2},
    {kCmdDeleteNode, text::kDelete, &CMarrowdexDlg::DeleteSelectedNode, Qt::Key_Delete},
    {kCmdOpenNode, text::kOpen, &CMarrowdexDlg::OpenSelectedNode, Qt::Key_Enter, false, true},
    {kCmdShowInFolder, text::kShowInFolder, &CMarrowdexDlg::ShowSelectedInFolder},
    {kCmdMoveNodeTo, text::kMoveTo, &CMarrowdexDlg::MoveSelectedNodeTo},
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
        if (item.separatorBefore) {
            menu.addSeparator();
        }
        QAction* action = menu.addAction(QString::fromStdU16String(UiString(item.textId)));
        action->setData(item.commandId);
        if (item.key != 0) {
            // Shown beside the text; the tree's own shortcuts run it.
            action->setShortcut(QKeySequence(item.key));
            action->setShortcutContext(Qt::WidgetShortcut);
        }
    }
    // The command runs once the menu has closed, as a command chosen from any menu does.
    const QAction* chosen = menu.exec(m_tree->viewport()->mapToGlobal(position));
    if (chosen != nullptr) {
        OnCommand(chosen->data().toInt());
    }
    m_menuBelowItems = false;
}

void CMarrowdexDlg::InstallShortcuts() {
    for (const MenuItem& item : kMenuItems) {
        if (item.key != 0 && item.keyIsShortcut) {
            auto* shortcut = new QShortcut(QKeySequence(item.key), m_tree, nullptr, nullptr, Qt::WidgetShortcut);
            const int command = item.commandId;
            connect(shortcut, &QShortcut::activated, this, [this, command] { OnCommand(command); });
        }
    }
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &CMarrowdexDlg::FocusSearch);
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
