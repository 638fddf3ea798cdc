#include "gui_fixture.h"

#include "app/catalog_tree_model.h"
#include "commands/command_list.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/store_session.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <algorithm>
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
    auto window = std::make_unique<CMarrowdexDlg>(m_program, MakeCommands);
    // Every signal of the tree's model is checked against what it claims, all through the test.
    if (auto* tree = window->findChild<CTreeCtrlEx*>()) {
        new QAbstractItemModelTester(tree->model(), QAbstractItemModelTester::FailureReportingMode::Fatal, window.get());
    }
    window->show();
    QApplication::processEvents();
    return window;
}

void GuiTest::ChangeStoreBehindWindow(const std::string& sql) {
    RunSql(m_db, sql);
    RememberStoreVersion();
}

QModelIndex GuiTest::FindTopItem(CMarrowdexDlg& window, const std::string& name) {
    return ChildItem(window, {}, QString::fromStdString(name));
}

std::string GuiTest::TreeText(CMarrowdexDlg& window) {
    CTreeCtrlEx& tree = *window.findChild<CTreeCtrlEx*>();
    auto* model = tree.CatalogModel();
    const std::vector<const CatalogNode*> openBefore = model->ExpandedNodes();
    // "*" on each top-level row, as the user would open everything.
    for (const ViewRow& row : ViewRows(tree)) {
        if (row.level == 0) {
            tree.expandRecursively(row.index);
        }
    }
    const std::vector<ViewRow> rows = ViewRows(tree);
    std::string text;
    int level = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (; level > rows[i].level; --level) {
            text += ")";
        }
        if (i > 0 && rows[i - 1].level >= rows[i].level) {
            text += ",";
        } else if (i > 0 && rows[i].level > rows[i - 1].level) {
            text += "(";
            level = rows[i].level;
        }
        text += rows[i].name.toStdString();
    }
    for (; level > 0; --level) {
        text += ")";
    }
    // What was closed closes again, the deepest first, so each catalog keeps its own state.
    std::vector<const CatalogNode*> opened = model->ExpandedNodes();
    std::erase_if(opened, [&](const CatalogNode* node) {
        return std::find(openBefore.begin(), openBefore.end(), node) != openBefore.end();
    });
    for (auto it = opened.rbegin(); it != opened.rend(); ++it) {
        model->SetExpanded(const_cast<CatalogNode*>(*it), false);
    }
    return text;
}

CTreeCtrlEx* TreeOf(CMarrowdexDlg& window) {
    return window.findChild<CTreeCtrlEx*>();
}

QString PaneText(CMarrowdexDlg& window) {
    return window.findChild<QPlainTextEdit*>(QStringLiteral("commentPane"))->toPlainText();
}

std::vector<ViewRow> ViewRows(CTreeCtrlEx& tree) {
    std::vector<ViewRow> rows;
    QHeaderView& header = *tree.verticalHeader();
    QScrollBar& scroll = *tree.verticalScrollBar();
    const int before = scroll.value();
    const int count = header.count(); // the view's own count of its rows
    for (int row = 0; row < count; ++row) {
        // Scrolled so that the row is in view, the view is asked what it shows there.
        if (header.sectionViewportPosition(row) < 0 ||
            header.sectionViewportPosition(row) + header.sectionSize(row) > tree.viewport()->height()) {
            scroll.setValue(row);
        }
        const int y = header.sectionViewportPosition(row) + header.sectionSize(row) / 2;
        const QModelIndex index = tree.indexAt(QPoint(1, y));
        EXPECT_TRUE(index.isValid()) << "row " << row << " of " << count << " shows no item";
        if (!index.isValid()) {
            break;
        }
        EXPECT_TRUE(tree.viewport()->rect().contains(QPoint(1, tree.visualRect(index).center().y()))) << "row " << row;
        const QRect item = tree.ItemRect(index);
        const int indent = item.left() - tree.visualRect(index).left();
        rows.push_back({index, index.data().toString(), indent / std::max(1, tree.indentation())});
    }
    scroll.setValue(before);
    return rows;
}

QStringList ViewLines(CTreeCtrlEx& tree) {
    QStringList lines;
    for (const ViewRow& row : ViewRows(tree)) {
        lines << QString(row.level * 2, QLatin1Char(' ')) + row.name;
    }
    return lines;
}

namespace {

// The rows of `parent`'s children (invalid: the top level), `parent` opened first.
std::vector<ViewRow> ChildRows(CMarrowdexDlg& window, const QModelIndex& parent) {
    CTreeCtrlEx& tree = *window.findChild<CTreeCtrlEx*>();
    if (parent.isValid()) {
        tree.expand(parent);
    }
    const std::vector<ViewRow> rows = ViewRows(tree);
    std::vector<ViewRow> children;
    int level = 0;
    std::size_t first = 0;
    if (parent.isValid()) {
        const auto at = std::find_if(rows.begin(), rows.end(), [&](const ViewRow& row) { return row.index == parent; });
        if (at == rows.end()) {
            return {};
        }
        level = at->level + 1;
        first = static_cast<std::size_t>(at - rows.begin()) + 1;
    }
    for (std::size_t i = first; i < rows.size() && rows[i].level >= level; ++i) {
        if (rows[i].level == level) {
            children.push_back(rows[i]);
        }
    }
    return children;
}

} // namespace

QModelIndex ChildItem(CMarrowdexDlg& window, const QModelIndex& parent, const QString& name) {
    for (const ViewRow& row : ChildRows(window, parent)) {
        if (row.name == name) {
            return row.index;
        }
    }
    return {};
}

QStringList ChildNames(CMarrowdexDlg& window, const QModelIndex& parent) {
    QStringList names;
    for (const ViewRow& row : ChildRows(window, parent)) {
        names << row.name;
    }
    return names;
}

} // namespace mwdx::test
