#pragma once

// A program folder of its own for each GUI test: a copy of the page script, a database when the
// test wants one, a Home Directory, and a user whose desktop folder is in the same place.

#include "app/marrowdex_dlg.h"
#include "app/tree_ctrl_ex.h"
#include "gui_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <QStringList>
#include <string>
#include <vector>

namespace mwdx::test {

class GuiTest : public ::testing::Test {
protected:
    GuiTest();
    ~GuiTest() override;

    // A fresh database beside the program; `confirmed` makes the configuration already done,
    // with the test's Home Directory.
    void MakeDatabase(bool confirmed);

    // A main window on the test's program folder, shown.
    std::unique_ptr<CMarrowdexDlg> OpenWindow();

    // Changes the store through a connection of its own while a window is open, as a test's
    // set-up step: the window takes it as known, not as another program's change.
    void ChangeStoreBehindWindow(const std::string& sql);

    // The node of the tree's top-level item with this display name (UTF-8), or null.
    static QModelIndex FindTopItem(CMarrowdexDlg& window, const std::string& name);

    // The whole tree as the window's view shows it with every catalog opened: "name(child,child)"
    // items separated by commas. The catalogs opened for it are closed again.
    static std::string TreeText(CMarrowdexDlg& window);

    TempDir m_dir;
    std::string m_program = m_dir.File("program");
    std::string m_db = m_program + "/mymwdx.db";
    std::string m_home = m_dir.File("home");
    std::string m_desktop = m_dir.File("user/Desktop");

private:
    std::optional<std::string> m_savedHome;
    std::optional<std::string> m_savedConfigHome;
};

// The window's tree view, and the text its comment pane shows.
CTreeCtrlEx* TreeOf(CMarrowdexDlg& window);
QString PaneText(CMarrowdexDlg& window);

// One row as the view draws it: the item found at the row's place, its name, and how far in it
// is drawn (in levels of indentation).
struct ViewRow {
    QModelIndex index;
    QString name;
    int level = 0;
};

// Every row of the tree's view, top to bottom, read where the view draws them: the view is
// scrolled through its own rows and asked what lies at each row's place. Fails the test when a
// row's place holds no item or another row's.
std::vector<ViewRow> ViewRows(CTreeCtrlEx& tree);
// The same as "name" lines, each indented by two blanks a level.
QStringList ViewLines(CTreeCtrlEx& tree);

// The child of `parent` (invalid: the top level) named `name`, as the view shows it once `parent`
// is opened through the view; invalid when there is none.
QModelIndex ChildItem(CMarrowdexDlg& window, const QModelIndex& parent, const QString& name);
// The names of `parent`'s children, as the view shows them once `parent` is opened.
QStringList ChildNames(CMarrowdexDlg& window, const QModelIndex& parent);

} // namespace mwdx::test
