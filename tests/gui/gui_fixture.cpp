#include "gui_fixture.h"

#include "store/connection.h"
#include "store/settings.h"
#include "store/store_session.h"

#include <QApplication>
#include <QTreeView>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace mwdx::test {

namespace {

std::optional<std::string> Swap(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    std::optional<std::string> saved = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    ::setenv(name, value.c_str(), 1);
    return saved;
}

void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

} // namespace

GuiTest::GuiTest() {
    fs::create_directories(m_program);
    fs::copy(SourceScriptFolder(), m_program + "/js", fs::copy_options::recursive);
    fs::create_directories(m_home);
    fs::create_directories(m_desktop);
    // The desktop folder comes from the user's home (no user-dirs.dirs there: ~/Desktop).
    m_savedHome = Swap("HOME", m_dir.File("user"));
    m_savedConfigHome = Swap("XDG_CONFIG_HOME", m_dir.File("user/.config"));
}

GuiTest::~GuiTest() {
    CloseAllModals();
    Restore("HOME", m_savedHome);
    Restore("XDG_CONFIG_HOME", m_savedConfigHome);
    EXPECT_FALSE(IsStoreOpen()) << "the main window closes the store when it goes";
    EXPECT_FALSE(HasSettings());
    CloseStore();
    FreeSettings();
}

void GuiTest::MakeDatabase(bool confirmed) {
    MakeFreshDatabase(m_db);
    if (confirmed) {
        RunSql(m_db, "update SYS_CONFIG set ROOT_DIR='" + m_home + "',FIRST_RUNNING=0;");
    }
}

std::unique_ptr<CMarrowdexDlg> GuiTest::OpenWindow() {
    auto window = std::make_unique<CMarrowdexDlg>(m_program);
    window->show();
    QApplication::processEvents();
    return window;
}

void GuiTest::ChangeStoreBehindWindow(const std::string& sql) {
    RunSql(m_db, sql);
    RememberStoreVersion();
}

QModelIndex GuiTest::FindTopItem(CMarrowdexDlg& window, const std::string& name) {
    for (QModelIndex item = window.GetRootItem(); item.isValid(); item = item.siblingAtRow(item.row() + 1)) {
        if (item.data().toString().toStdString() == name) {
            return item;
        }
    }
    return {};
}

namespace {

std::string TreeTextBelow(const QAbstractItemModel& model, const QModelIndex& parent) {
    std::string text;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex item = model.index(row, 0, parent);
        text += (row > 0 ? "," : "") + item.data().toString().toStdString();
        if (model.rowCount(item) > 0) {
            text += "(" + TreeTextBelow(model, item) + ")";
        }
    }
    return text;
}

} // namespace

std::string GuiTest::TreeText(CMarrowdexDlg& window) {
    return TreeTextBelow(*window.findChild<QTreeView*>()->model(), {});
}

} // namespace mwdx::test
