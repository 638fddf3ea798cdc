#include "app/catalog_tree_model.h"
#include "app/prompts.h"
#include "app/tree_ctrl_ex.h"
#include "catalog/insert_remove.h"
#include "commands/dir_dlg.h"
#include "config/config_dlg.h"
#include "gui_fixture.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/settings.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <filesystem>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// A right click at `point` of the tree's viewport, as the window system delivers it.
void RightClick(CMarrowdexDlg& window, const QPoint& point) {
    QWidget* viewport = TreeOf(window)->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, viewport->mapToGlobal(point));
    QApplication::sendEvent(viewport, &event);
}

QPoint OnLabel(CMarrowdexDlg& window, const QModelIndex& item) {
    const QRect row = TreeOf(window)->ItemRect(item);
    return {row.left() + 24, row.center().y()};
}

void AddSampleCatalog(const std::string& db) {
    RunSql(db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values"
               "(1,'Physics',0,'Line one'||char(13,10)||'Line two',0,'',1),"
               "(2,'Optics.pdf',1,'A book',1,'optics.pdf',2),"
               "(3,'Maths',0,'Numbers',0,'',1),"
               "(4,'Waves',1,'',0,'',2);");
}

TEST_F(GuiTest, FirstStartAsksForTheHomeDirectoryUntilOneIsAccepted) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(false);
    const std::string chosen = m_home + "/it's knowledge";
    fs::create_directories(chosen);
    const QString required = QStringLiteral("Please select a directory as your knowledge database home directory");

    QElapsedTimer clock;
    clock.start();
    auto window = OpenWindow();
    qint64 openedAfterMs = -1;
    {
        ModalScript script;
        script
            .Then<CConfigDlg>(
                [&](CConfigDlg* dialog) {
                    openedAfterMs = clock.elapsed();
                    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("System configuration dialog"));
                    EXPECT_TRUE(Child<QLineEdit>(dialog, "homeDirEdit")->isReadOnly());
                    Child<QPushButton>(dialog, "cancelButton")->click();
                },
                "the configuration dialog")
            .ThenMessage(required)
            .Then<CConfigDlg>([](CConfigDlg* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); })
            .ThenMessage(required)
            .Then<CConfigDlg>([](CConfigDlg* dialog) { dialog->close(); })
            .ThenMessage(required)
            .Then<CConfigDlg>([](CConfigDlg* dialog) { Child<QPushButton>(dialog, "okButton")->click(); })
            .ThenMessage(required)
            .Then<CConfigDlg>([](CConfigDlg* dialog) {
                Child<QCheckBox>(dialog, "shortcutCheck")->setChecked(true);
                Child<QAbstractButton>(dialog, "browseButton")->click();
            })
            .Then<QFileDialog>(
                [&](QFileDialog* chooser) {
                    chooser->setDirectory(QString::fromStdString(chosen));
                    static_cast<QDialog*>(chooser)->accept(); // the chooser's own accept is protected
                },
                "the folder chooser")
            .Then<CConfigDlg>([&](CConfigDlg* dialog) {
                EXPECT_EQ(Child<QLineEdit>(dialog, "homeDirEdit")->text().toStdString(), chosen);
                Child<QPushButton>(dialog, "okButton")->click();
            });
        ASSERT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }, 30000));
    }
    // About a second after start, never before.
    EXPECT_GE(openedAfterMs, 900);
    EXPECT_EQ(QueryText(m_db, "select ROOT_DIR||'|'||FIRST_RUNNING||URL_SHORTCUT||DELDOC_AFTERADDING||"
                              "DELDOC_AFTERDELNODE from SYS_CONFIG;"),
              chosen + "|0100");
    EXPECT_TRUE(fs::is_regular_file(chosen + "/js/dtree.js"));
    EXPECT_TRUE(fs::is_regular_file(chosen + "/js/img/folder.gif"));
    EXPECT_EQ(RootDirOf(SettingsCopy()), chosen);
    EXPECT_EQ(SettingsCopy().firstRunning, 0);
    window.reset();

    auto again = OpenWindow();
    QTest::qWait(kStartupDelayMs + 400);
    EXPECT_EQ(TopModal(), nullptr) << "a confirmed configuration is not asked for again";
}

TEST_F(GuiTest, TheButtonsHaveKeysAndEnterInTheCommentPaneKeepsTheWindowOpen) {
    const ScopedLocale locale("en_US.UTF-8");
    MakeDatabase(true);
    AddSampleCatalog(m_db);
    fs::create_directories(m_home + "/Physics");
    OpenedUrls opened;
    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::setActiveWindow(window.get());
    QTest::qWait(kStartupDelayMs + 100);
    auto* pane = Child<QPlainTextEdit>(window.get(), "commentPane");
    CTreeCtrlEx* tree = TreeOf(*window);
    const QUrl page = QUrl::fromLocalFile(QString::fromStdString(m_home + "/mwdx_index.html"));

    // Enter in the comment pane, a box of several lines: the window stays.
    window->SelectItem(FindTopItem(*window, "Physics"));
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_Return);
    QTest::keyClick(pane, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(pane->toPlainText(), QStringLiteral("Line one\nLine two")) << "read-only: nothing typed";

    // Each button's tooltip names its key, and the key does what the button does, wherever the
    // focus is in the window.
    const std::pair<const char*, QString> tips[] = {{"optionButton", QStringLiteral("Option (Ctrl+,)")},
                                                    {"openIndexButton", QStringLiteral("Open Index file (Ctrl+O)")},
                                                    {"syncIndexButton", QStringLiteral("Sync Index file (F5)")},
                                                    {"helpButton", QStringLiteral("Help (F1)")},
                                                    {"checkButton", QStringLiteral("Check (F7)")}};
    for (const auto& [button, tip] : tips) {
        EXPECT_EQ(Child<QPushButton>(window.get(), button)->toolTip(), tip) << button;
    }
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F1);
    ASSERT_TRUE(WaitUntil([&] { return opened.urls.size() == 1; }));
    EXPECT_EQ(opened.urls.back(), QUrl::fromLocalFile(QString::fromStdString(m_program + "/ehelp.html")));
    QTest::keyClick(tree, Qt::Key_F5);
    ASSERT_TRUE(WaitUntil([&] { return opened.urls.size() == 2; }));
    EXPECT_EQ(opened.urls.back(), page);
    EXPECT_TRUE(fs::exists(m_home + "/mwdx_index.html"));
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return opened.urls.size() == 3; }));
    EXPECT_EQ(opened.urls.back(), page);
    {
        ModalScript script;
        script.Then<CConfigDlg>([](CConfigDlg* dialog) { Child<QPushButton>(dialog, "cancelButton")->click(); },
                                "the configuration dialog");
        QTest::keyClick(pane, Qt::Key_Comma, Qt::ControlModifier);
        EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    }
    {
        ModalScript script;
        script.Then<QDialog>([](QDialog* dialog) { Child<QPushButton>(dialog, "closeButton")->click(); },
                             "the check window");
        QApplication::setActiveWindow(window.get());
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_F7);
        EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    }

    // Escape still closes it.
    QApplication::setActiveWindow(window.get());
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(GuiTest, TextsAndTheMenuFollowTheLocale) {
    MakeDatabase(true);
    struct Case {
        const char* lang;
        QStringList buttons; // title, then the five buttons
        QStringList menu;
    };
    const QStringList english{QStringLiteral("Add Sub Catalog"),
                              QStringLiteral("Add Neighbour Catalog"),
                              QStringLiteral("Add a new document in root catalog"),
                              QStringLiteral("Add a new document to knowledge directory"),
                              QStringLiteral("Update"),
                              QStringLiteral("Delete "),
                              QString(),
                              QStringLiteral("Open"),
                              QStringLiteral("Show in folder"),
                              QStringLiteral("Move to…"),
                              QStringLiteral("Import folder\u2026"),
                              QString(),
                              QStringLiteral("Trash\u2026"),
                              QString(),
                              QStringLiteral("Undo"),
                              QStringLiteral("Redo")};
    const QStringList englishButtons{
        QStringLiteral("Marrowdex"),       QStringLiteral("Option"), QStringLiteral("Open Index file"),
        QStringLiteral("Sync Index file"), QStringLiteral("Help"),   QStringLiteral("Check")};
    const Case cases[] = {
        {"en_US.UTF-8", englishButtons, english},
        {"zh_CN.UTF-8",
         {QStringLiteral("zuzuv"), QStringLiteral("选项"), QStringLiteral("打开索引文件"),
          QStringLiteral("同步索引文件"), QStringLiteral("帮助"), QStringLiteral("检查")},
         {QStringLiteral("添加下层目录"), QStringLiteral("添加邻居目录"), QStringLiteral("在知识库根目录添加文档"),
          QStringLiteral("添加一个新的文档"), QStringLiteral("更新"), QStringLiteral("删除"), QString(),
          QStringLiteral("打开"), QStringLiteral("在文件夹中显示"), QStringLiteral("移动到…"),
          QStringLiteral("导入文件夹\u2026"), QString(), QStringLiteral("回收站\u2026"), QString(),
          QStringLiteral("撤销"), QStringLiteral("重做")}},
        {"zh_TW.UTF-8", englishButtons, english},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        const ScopedLocale locale(c.lang);
        auto window = OpenWindow();
        EXPECT_EQ(window->windowTitle(), c.buttons[0]);
        int i = 1;
        for (const char* name : {"optionButton", "openIndexButton", "syncIndexButton", "helpButton", "checkButton"}) {
            EXPECT_EQ(Child<QPushButton>(window.get(), name)->text(), c.buttons[i++]);
        }
        ModalScript script;
        script.Then<QMenu>(
            [&](QMenu* menu) {
                QStringList texts;
                QList<int> ids;
                QStringList keys;
                for (const QAction* action : menu->actions()) {
                    texts << action->text();
                    ids << action->data().toInt();
                    keys << action->shortcut().toString(QKeySequence::PortableText);
                    // Nothing done yet: only Undo and Redo have nothing to offer.
                    EXPECT_EQ(action->isEnabled(), action->data().toInt() != kCmdUndo &&
                                                       action->data().toInt() != kCmdRedo);
                }
                EXPECT_EQ(texts, c.menu);
                EXPECT_EQ(ids, (QList<int>{32782, 32784, 32788, 32785, 32787, 32786, 0, 32800, 32801, 32802, 32789, 0, 32804, 0, 32805, 32806}));
                EXPECT_EQ(keys, (QStringList{"Ins", "", "", "", "F2", "Del", "", "Enter", "", "", "", "", "Ctrl+Shift+T", "", "Ctrl+Z",
                                               "Ctrl+Shift+Z"}))
                    << "the keys shown beside the commands";
                menu->close();
            },
            "the tree's menu");
        RightClick(*window, {10, 10}); // an empty tree: the menu still opens
        EXPECT_TRUE(script.Finished());
    }
}

// Qt's own texts (standard buttons, the choosers' titles and labels) speak the UI language too.
TEST_F(GuiTest, QtsOwnTextsFollowTheUiLanguage) {
    MakeDatabase(true);
    struct Case {
        const char* lang;
        QStringList texts; // OK, Cancel, folder chooser title and button, file chooser title, button, filter label
    };
    const Case cases[] = {
        {"zh_CN.UTF-8",
         {QStringLiteral("确定"), QStringLiteral("取消"), QStringLiteral("查找目录"), QStringLiteral("选择(&C)"),
          QStringLiteral("打开"), QStringLiteral("打开(&O)"), QStringLiteral("文件类型：")}},
        {"en_US.UTF-8",
         {QStringLiteral("OK"), QStringLiteral("Cancel"), QStringLiteral("Find Directory"), QStringLiteral("&Choose"),
          QStringLiteral("Open"), QStringLiteral("&Open"), QStringLiteral("Files of type:")}},
        {"zh_TW.UTF-8",
         {QStringLiteral("OK"), QStringLiteral("Cancel"), QStringLiteral("Find Directory"), QStringLiteral("&Choose"),
          QStringLiteral("Open"), QStringLiteral("&Open"), QStringLiteral("Files of type:")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        const ScopedLocale locale(c.lang);
        auto window = OpenWindow();
        QStringList seen;
        const auto chooserTexts = [&seen](QFileDialog* chooser) {
            auto* buttons = chooser->findChild<QDialogButtonBox*>();
            seen << chooser->windowTitle() << buttons->button(QDialogButtonBox::Open)->text();
            if (chooser->fileMode() != QFileDialog::Directory) {
                seen << chooser->findChild<QLabel*>(QStringLiteral("fileTypeLabel"))->text();
            }
            chooser->reject();
        };
        ModalScript script;
        script
            .Then<QMessageBox>([&](QMessageBox* box) {
                seen << box->button(QMessageBox::Ok)->text() << box->button(QMessageBox::Cancel)->text();
                box->button(QMessageBox::Cancel)->click();
            })
            .Then<QMessageBox>([&](QMessageBox* box) {
                EXPECT_EQ(box->button(QMessageBox::Ok)->text().toStdString(), c.texts[0].toStdString());
                box->button(QMessageBox::Ok)->click();
            })
            .Then<QFileDialog>(chooserTexts, "the folder chooser")
            .Then<QFileDialog>(chooserTexts, "the file chooser");
        MessagePrompt::Confirm(window.get(), QStringLiteral("?"), text::kCaution);
        MessagePrompt::Show(window.get(), text::kSelectToDelete);
        FolderPrompt::Ask(window.get(), QString::fromStdString(m_home));
        FilePrompt::Ask(window.get());
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(seen.join(QLatin1Char('|')).toStdString(), c.texts.join(QLatin1Char('|')).toStdString());
    }
}

TEST_F(GuiTest, RightClickSelectsTheItemUnderItAndThePaneShowsTheComment) {
    MakeDatabase(true);
    AddSampleCatalog(m_db);
    auto window = OpenWindow();
    CTreeCtrlEx* tree = TreeOf(*window);
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    const QPersistentModelIndex maths = FindTopItem(*window, "Maths");
    ASSERT_TRUE(physics.isValid() && maths.isValid());
    EXPECT_FALSE(tree->isExpanded(physics)) << "items start collapsed";
    EXPECT_FALSE(physics.data(Qt::DecorationRole).isNull());
    EXPECT_EQ(ChildNames(*window, physics), (QStringList{QStringLiteral("Optics.pdf"), QStringLiteral("Waves")}));
    EXPECT_FALSE(ChildItem(*window, physics, QStringLiteral("Optics.pdf")).data(Qt::DecorationRole).isNull());
    tree->collapse(physics);
    EXPECT_TRUE(PaneText(*window).isEmpty());

    auto closeMenu = [](QMenu* menu) { menu->close(); };
    {
        ModalScript script;
        script.Then<QMenu>(closeMenu, "the tree's menu");
        RightClick(*window, OnLabel(*window, maths));
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(window->GetSelectedItem(), maths);
    EXPECT_EQ(PaneText(*window), QStringLiteral("Numbers"));

    // Below the last item and far right of a label: the selection stays.
    const int belowItems = tree->visualRect(maths).bottom() + 40;
    for (const QPoint point :
         {QPoint(10, belowItems), QPoint(tree->viewport()->width() - 4, OnLabel(*window, physics).y())}) {
        ModalScript script;
        script.Then<QMenu>(closeMenu, "the tree's menu");
        RightClick(*window, point);
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(window->GetSelectedItem(), maths);
    }

    // A comment of several lines keeps them; selecting by keyboard or mouse updates the pane too.
    window->SelectItem(physics);
    EXPECT_EQ(PaneText(*window), QStringLiteral("Line one\nLine two"));
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(PaneText(*window), QStringLiteral("Numbers"));
}

// A click as the window system delivers it: press and release through the window, which also
// sends the context-menu event for the right button.
void Click(CMarrowdexDlg& window, Qt::MouseButton button, const QPoint& inViewport) {
    QWidget* viewport = TreeOf(window)->viewport();
    QTest::mouseClick(window.windowHandle(), button, {}, viewport->mapTo(&window, inViewport));
}

TEST_F(GuiTest, PressesBesideTheItemsKeepTheSelection) {
    MakeDatabase(true);
    AddSampleCatalog(m_db);
    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CTreeCtrlEx* tree = TreeOf(*window);
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    const QPersistentModelIndex maths = FindTopItem(*window, "Maths");
    Click(*window, Qt::LeftButton, OnLabel(*window, maths));
    ASSERT_EQ(window->GetSelectedItem(), maths);
    ASSERT_EQ(PaneText(*window), QStringLiteral("Numbers"));

    // Below the last item, and in Physics's row past its label (near it and far off): neither
    // button changes the selection, and the right one still opens the menu.
    const QRect physicsRow = tree->visualRect(physics);
    const int pastLabel =
        OnLabel(*window, physics).x() + tree->fontMetrics().horizontalAdvance(QStringLiteral("Physics"));
    for (const QPoint point :
         {QPoint(10, tree->visualRect(maths).bottom() + 40), QPoint(pastLabel + 12, physicsRow.center().y()),
          QPoint(tree->viewport()->width() - 4, physicsRow.center().y())}) {
        SCOPED_TRACE(testing::Message() << "at " << point.x() << "," << point.y());
        Click(*window, Qt::LeftButton, point);
        EXPECT_EQ(window->GetSelectedItem(), maths);
        ModalScript script;
        script.Then<QMenu>([](QMenu* menu) { menu->close(); }, "the tree's menu");
        Click(*window, Qt::RightButton, point);
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(window->GetSelectedItem(), maths);
        EXPECT_EQ(PaneText(*window), QStringLiteral("Numbers"));
    }

    // So a sub catalog asked for beside the items goes under the selected catalog.
    {
        ModalScript script;
        script
            .Then<QMenu>(
                [](QMenu* menu) {
                    menu->setActiveAction(menu->actions().first()); // "Add Sub Catalog"
                    QTest::keyClick(menu, Qt::Key_Return);
                },
                "the tree's menu")
            .Then<CDirDlg>([](CDirDlg* dialog) {
                Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Algebra"));
                Child<QPushButton>(dialog, "okButton")->click();
            });
        Click(*window, Qt::RightButton, {10, tree->visualRect(maths).bottom() + 40});
        EXPECT_TRUE(WaitUntil([&] { return script.Finished() && TopModal() == nullptr; }));
    }
    EXPECT_EQ(QueryText(m_db, "select PARENT_ID from FILE_NODE where FILE_NAME='Algebra';"), "3");
    EXPECT_TRUE(fs::is_directory(m_home + "/Maths/Algebra"));

    // A double click past a label opens nothing; on the label it opens the catalog. A press on
    // an item's label still selects it, with either button.
    const auto doubleClick = [&](const QPoint& point) {
        QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, tree->viewport()->mapTo(window.get(), point));
    };
    doubleClick({pastLabel + 12, physicsRow.center().y()});
    EXPECT_FALSE(tree->isExpanded(physics));
    EXPECT_EQ(window->GetSelectedItem(), maths);
    doubleClick(OnLabel(*window, physics));
    EXPECT_TRUE(tree->isExpanded(physics));
    EXPECT_EQ(window->GetSelectedItem(), physics);
    {
        ModalScript script;
        script.Then<QMenu>([](QMenu* menu) { menu->close(); }, "the tree's menu");
        Click(*window, Qt::RightButton, OnLabel(*window, maths));
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(window->GetSelectedItem(), maths);
}

// The Menu key as the X11 platform delivers it: the key, and a keyboard context-menu event for
// the window at the mouse pointer, here far off over the comment pane.
void PressMenuKey(CMarrowdexDlg& window) {
    QTest::keyPress(window.windowHandle(), Qt::Key_Menu);
    const QPoint pointer(window.width() - 20, window.height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, pointer, window.mapToGlobal(pointer));
    QApplication::sendEvent(window.windowHandle(), &event);
    QTest::keyRelease(window.windowHandle(), Qt::Key_Menu);
}

TEST_F(GuiTest, TheMenuKeyOpensTheMenuAtTheSelectedItem) {
    MakeDatabase(true);
    AddSampleCatalog(m_db);
    // A long name makes the tree's one column wider than the tree.
    RunSql(m_db, "insert into FILE_NODE values(9,'Minutes of the yearly meeting of the society for the study of "
                 "everything that happened in the year before, with an appendix',0,'',1,'minutes.txt',1);");
    auto window = OpenWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CTreeCtrlEx* tree = TreeOf(*window);
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    window->ExpandItem(physics);
    const QPersistentModelIndex waves = ChildItem(*window, physics, QStringLiteral("Waves"));
    for (const QModelIndex& item : {FindTopItem(*window, "Maths"), QModelIndex(waves)}) {
        SCOPED_TRACE(item.data().toString().toStdString());
        window->SelectItem(item);
        tree->setFocus();
        const QRect label =
            QRect(tree->viewport()->mapToGlobal(tree->ItemRect(item).topLeft()), tree->ItemRect(item).size());
        QPoint opensAt;
        ModalScript script;
        script.Then<QMenu>(
            [&](QMenu* menu) {
                opensAt = menu->pos();
                menu->close();
            },
            "the tree's menu");
        PressMenuKey(*window);
        ASSERT_TRUE(WaitUntil([&] { return script.Finished(); }));
        // Its corner on the item's row, not far off over the comment pane.
        EXPECT_GE(opensAt.x(), label.left());
        EXPECT_LE(opensAt.x(), label.left() + tree->iconSize().width() +
                                   tree->fontMetrics().horizontalAdvance(item.data().toString()) + 8);
        EXPECT_GE(opensAt.y(), label.top());
        EXPECT_LE(opensAt.y(), label.bottom() + 1);
        EXPECT_EQ(window->GetSelectedItem(), item) << "the menu acts on the selected item";
    }
}

TEST_F(GuiTest, TheCommentPaneWrapsLongLines) {
    MakeDatabase(true);
    const std::string words = "The lectures were given in the years nineteen sixty-one to sixty-three and are kept "
                              "here as a set of three volumes with the exercises and their answers";
    std::string chinese;
    for (int i = 0; i < 40; ++i) {
        chinese += "知识库的目录";
    }
    const std::string url = "https://example.org/" + std::string(200, 'a') + "/index.html";
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'" + words + "'||char(10)||'" + chinese +
                     "'||char(10)||'" + url + "',0,'',1);");
    auto window = OpenWindow();
    window->SelectItem(FindTopItem(*window, "Physics"));
    auto* pane = window->findChild<QPlainTextEdit*>(QStringLiteral("commentPane"));
    QApplication::processEvents();
    EXPECT_EQ(pane->horizontalScrollBar()->maximum(), 0) << "nothing to scroll sideways";
    ASSERT_EQ(pane->document()->blockCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const QTextBlock block = pane->document()->findBlockByNumber(i);
        ASSERT_NE(block.layout(), nullptr);
        EXPECT_GT(block.layout()->lineCount(), 1) << "line " << i << " wraps";
        for (int line = 0; line < block.layout()->lineCount(); ++line) {
            EXPECT_LE(block.layout()->lineAt(line).naturalTextWidth(), pane->viewport()->width());
        }
    }
    // Words stay whole.
    const QTextBlock first = pane->document()->firstBlock();
    EXPECT_TRUE(first.text().left(first.layout()->lineAt(0).textLength()).endsWith(QLatin1Char(' ')));
}

TEST_F(GuiTest, EnterAndEscapeCloseTheMainWindow) {
    MakeDatabase(true);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        auto window = OpenWindow();
        TreeOf(*window)->setFocus();
        QTest::keyClick(TreeOf(*window), key);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected);
    }
}

// The view follows nodes appended to the catalog wherever they go, and a chain of catalogs
// deeper than any file system allows shows without trouble.
TEST_F(GuiTest, TheTreeShowsNodesAddedToTheCatalog) {
    MakeDatabase(true);
    AddSampleCatalog(m_db);
    auto window = OpenWindow();
    CTreeCtrlEx& tree = *TreeOf(*window);
    CatalogModel& catalog = window->Catalog();
    const QPersistentModelIndex physics = FindTopItem(*window, "Physics");
    CatalogNode* physicsNode = window->ItemNode(physics);
    tree.collapse(physics);

    // Under a closed catalog: shown once it is opened; the view follows the catalog by itself,
    // the model tester checking every signal.
    CatalogNode* added = InsertNode(catalog, "Acoustics", "", 0, physicsNode->FileId(), "", 2, physicsNode,
                                    physicsNode->Path() + "/Acoustics");
    ASSERT_NE(added, nullptr);
    EXPECT_FALSE(window->ItemOf(added).isValid()) << "Physics is closed";
    EXPECT_EQ(ChildNames(*window, physics),
              (QStringList{QStringLiteral("Optics.pdf"), QStringLiteral("Waves"), QStringLiteral("Acoustics")}));
    EXPECT_EQ(window->GetParentItem(window->ItemOf(added)), physics);

    // Under an open catalog without children: it can be opened from now on, and shows its child.
    const QPersistentModelIndex waves = ChildItem(*window, physics, QStringLiteral("Waves"));
    CatalogNode* wavesNode = window->ItemNode(waves);
    EXPECT_FALSE(waves.data(CatalogTreeModel::kHasChildrenRole).toBool());
    CatalogNode* inWaves =
        InsertNode(catalog, "Tides", "", 0, wavesNode->FileId(), "", 3, wavesNode, wavesNode->Path() + "/Tides");
    EXPECT_TRUE(waves.data(CatalogTreeModel::kHasChildrenRole).toBool());
    EXPECT_EQ(ChildNames(*window, waves), QStringList{QStringLiteral("Tides")});
    EXPECT_EQ(window->ItemNode(ChildItem(*window, waves, QStringLiteral("Tides"))), inWaves);

    InsertNode(catalog, "Zoology", "", 0, 0, "", 1, nullptr, m_home + "/Zoology");
    EXPECT_EQ(ChildNames(*window, {}),
              (QStringList{QStringLiteral("Physics"), QStringLiteral("Maths"), QStringLiteral("Zoology")}));
    const QPersistentModelIndex top = FindTopItem(*window, "Zoology");
    EXPECT_EQ(window->GetRootItem().data().toString(), QStringLiteral("Physics"));

    // A new name shows at once; a node that goes takes its rows and the rows below it along.
    NodeDetails renamed = added->Details();
    renamed.fileName = "Sound";
    catalog.ReplaceNodeDetails(*added, renamed);
    EXPECT_EQ(window->ItemOf(added).data().toString(), QStringLiteral("Sound"));
    // A move leaves one catalog and arrives under another in its place by id.
    CatalogNode* maths = window->ItemNode(FindTopItem(*window, "Maths"));
    ASSERT_TRUE(catalog.MoveNode(*wavesNode, *maths));
    EXPECT_EQ(ChildNames(*window, window->ItemOf(maths)), QStringList{QStringLiteral("Waves")});
    EXPECT_EQ(ChildNames(*window, physics), (QStringList{QStringLiteral("Optics.pdf"), QStringLiteral("Sound")}));
    ASSERT_TRUE(catalog.MoveNode(*wavesNode, *physicsNode));
    EXPECT_EQ(ChildNames(*window, physics),
              (QStringList{QStringLiteral("Optics.pdf"), QStringLiteral("Waves"), QStringLiteral("Sound")}))
        << "back where its id puts it, before the newer Sound";
    EXPECT_EQ(ChildNames(*window, window->ItemOf(wavesNode)), QStringList{QStringLiteral("Tides")})
        << "its child came along, still open";
    catalog.UnlinkAndFree(*physicsNode, *wavesNode);
    EXPECT_EQ(ViewLines(tree), (QStringList{QStringLiteral("Physics"), QStringLiteral("  Optics.pdf"),
                                            QStringLiteral("  Sound"), QStringLiteral("Maths"),
                                            QStringLiteral("Zoology")}));

    // The model's tester walks every row at every signal; 5000 levels opened one by one are too
    // many walks for it.
    delete window->findChild<QAbstractItemModelTester*>();
    ASSERT_EQ(ExecStatement("PRAGMA synchronous=OFF;"), kStatementOk);
    CatalogNode* deepest = window->ItemNode(top);
    for (int level = 2; level <= 5001; ++level) {
        deepest = InsertNode(catalog, "d", "", 0, deepest->FileId(), "", level, deepest, deepest->Path() + "/d");
        ASSERT_NE(deepest, nullptr);
    }
    const QPersistentModelIndex deepItem = window->ShowItem(deepest);
    ASSERT_TRUE(deepItem.isValid());
    int depth = 0;
    for (QModelIndex item = deepItem; item.isValid(); item = window->GetParentItem(item)) {
        ++depth;
    }
    EXPECT_EQ(depth, 5001);
    window->SelectItem(deepItem);
    EXPECT_EQ(window->GetSelectedItem(), deepItem);
}

} // namespace
} // namespace mwdx::test
