#pragma once

// A program folder of its own for each GUI test: a copy of the page script, a database when the
// test wants one, a Home Directory, and a user whose desktop folder is in the same place.

#include "app/marrowdex_dlg.h"
#include "gui_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

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

    // The tree as the window's view shows it: "name(child,child)" items separated by commas.
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

} // namespace mwdx::test
