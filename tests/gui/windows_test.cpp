// Every window of the program, opened as the user opens it, in English and in Chinese: nothing
// sticks out of its window, no two neighbours overlap, no label, button or caption is cut, and the
// window lies whole on its screen. CTest runs this again with QT_SCALE_FACTOR=1.5, and at 2 on a
// small screen. With MARROWDEX_SHOTS_DIR set, each window is also saved there as a picture
// (scripts/window-screenshots.sh).

#include "app/dialog_units.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "app/tree_ctrl_ex.h"
#include "check/check_dlg.h"
#include "commands/dir_dlg.h"
#include "commands/doc_dlg.h"
#include "commands/move_dlg.h"
#include "config/config_dlg.h"
#include "gui_fixture.h"
#include "platform/text_ids.h"
#include "store/settings.h"
#include "trash/trash_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <tuple>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

std::string Describe(const QWidget* widget) {
    std::ostringstream text;
    text << widget->metaObject()->className() << " '" << widget->objectName().toStdString() << "'";
    return text.str();
}

std::string Describe(const QRect& rect) {
    std::ostringstream text;
    text << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height();
    return text.str();
}

// Where `widget` lies in `window`'s coordinates.
QRect Within(const QWidget* window, const QWidget* widget) {
    return {widget->mapTo(window, QPoint(0, 0)), widget->size()};
}

// The widgets laid out side by side in `container` (its visible children that are not windows),
// and again in each of them that lays out children of its own.
void ExpectNoOverlap(const QWidget* window, const QWidget* container) {
    std::vector<const QWidget*> children;
    for (const QObject* object : container->children()) {
        const auto* child = qobject_cast<const QWidget*>(object);
        if (child != nullptr && !child->isWindow() && child->isVisibleTo(window)) {
            children.push_back(child);
        }
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        for (std::size_t j = i + 1; j < children.size(); ++j) {
            EXPECT_FALSE(children[i]->geometry().intersects(children[j]->geometry()))
                << Describe(children[i]) << " at " << Describe(children[i]->geometry()) << " overlaps "
                << Describe(children[j]) << " at " << Describe(children[j]->geometry());
        }
        if (children[i]->layout() != nullptr) {
            ExpectNoOverlap(window, children[i]);
        }
    }
}

void ExpectFits(QWidget* window) {
    QApplication::processEvents(); // layouts settle
    // Whole on its screen, caption and close box included, at any scale.
    const QRect area = window->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(window->frameGeometry()))
        << Describe(window) << " at " << Describe(window->frameGeometry()) << " is not inside the screen's "
        << Describe(area);
    const QRect inside = window->rect();
    if (!window->windowFlags().testFlag(Qt::FramelessWindowHint)) {
        EXPECT_GE(window->width(), CaptionWidth(*window))
            << "the caption '" << window->windowTitle().toStdString() << "' is cut";
    }
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->isWindow() || !widget->isVisibleTo(window)) {
            continue;
        }
        EXPECT_TRUE(inside.contains(Within(window, widget)))
            << Describe(widget) << " at " << Describe(Within(window, widget)) << " sticks out of " << Describe(inside);
        const auto* label = qobject_cast<const QLabel*>(widget);
        if (label != nullptr && label->wordWrap()) {
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << Describe(widget) << " is cut";
        } else if (label != nullptr || qobject_cast<const QAbstractButton*>(widget) != nullptr) {
            // What the text needs; a button may give up the rest of its usual width on a small screen.
            const QSize hint = widget->minimumSizeHint();
            EXPECT_TRUE(widget->width() >= hint.width() && widget->height() >= hint.height())
                << Describe(widget) << " is " << widget->width() << "x" << widget->height() << ", its text needs "
                << hint.width() << "x" << hint.height();
        }
    }
    ExpectNoOverlap(window, window);
}

struct Sample {
    const char* lang;
    const char* search; // typed into the search field (UTF-8)
    const char* suffix; // of the pictures' names
    std::string rows;   // FILE_NODE rows
};

const Sample kSamples[] = {
    {"en_US.UTF-8", "lecture", "en",
     "(1,'Physics',0,'Lecture notes and books on physics',0,'',1),"
     "(2,'Mathematics',0,'Algebra, analysis and a few puzzles',0,'',1),"
     "(3,'Recipes',0,'Family recipes, scanned',0,'',1),"
     "(4,'Optics',1,'Lenses, mirrors and light',0,'',2),"
     "(5,'Thermodynamics',1,'',0,'',2),"
     "(6,'Feynman Lectures, Volume 1',1,'The classic introduction.'||char(10)||'Chapters 1 to 52; read chapter 4 "
     "first.'||char(10)||'Borrowed from the library until March.',1,'feynman-lectures-1.pdf',2),"
     "(7,'Exam notes 2026',1,'My own summary for the exam',1,'exam-notes-2026.odt',2),"
     "(8,'Linear algebra',2,'',0,'',2),"
     "(9,'Grandma''s apple pie',3,'',1,'apple-pie.jpg',2),"
     "(10,'Travel',0,'Maps, tickets and plans',0,'',1)"},
    {"zh_CN.UTF-8", "讲义", "zh",
     "(1,'物理',0,'物理课的讲义和书籍',0,'',1),"
     "(2,'数学',0,'代数、分析和一些趣题',0,'',1),"
     "(3,'菜谱',0,'家里的菜谱，扫描件',0,'',1),"
     "(4,'光学',1,'透镜、反射镜和光',0,'',2),"
     "(5,'热力学',1,'',0,'',2),"
     "(6,'费曼物理学讲义 第一卷',1,'经典的入门书。'||char(10)||'共 52 章，先读第 4 章。'||char(10)||"
     "'从图书馆借的，三月前归还。',1,'feynman-lectures-1.pdf',2),"
     "(7,'2026 年考试笔记',1,'自己整理的考试要点',1,'exam-notes-2026.odt',2),"
     "(8,'线性代数',2,'',0,'',2),"
     "(9,'外婆的苹果派',3,'',1,'apple-pie.jpg',2),"
     "(10,'旅行',0,'地图、车票和计划',0,'',1)"},
};

class WindowsFit : public GuiTest {
protected:
    void SetUp() override {
        MakeDatabase(true);
        // Only shown, never written to: a Home Directory as a reader's would read.
        RunSql(m_db, "update SYS_CONFIG set ROOT_DIR='/home/reader/Knowledge';");
    }

    // Checks the window and, when pictures are asked for, saves it as `name`-<language>.png, with
    // `pointer` (a drag's picture) drawn at `at` when given.
    void Look(const char* name, QWidget* window, const QPixmap& pointer = {}, QPoint at = {}) {
        SCOPED_TRACE(name);
        m_seen.push_back(name);
        ExpectFits(window);
        if (m_scale > 0) {
            EXPECT_DOUBLE_EQ(window->devicePixelRatioF(), m_scale) << "QT_SCALE_FACTOR took effect";
        }
        if (const char* folder = std::getenv("MARROWDEX_SHOTS_DIR"); folder != nullptr && folder[0] != '\0') {
            const QString file = QStringLiteral("%1/%2-%3.png")
                                     .arg(QString::fromLocal8Bit(folder), QLatin1String(name), QLatin1String(m_suffix));
            QPixmap picture = window->grab();
            if (!pointer.isNull()) {
                QPainter painter(&picture);
                painter.drawPixmap(at, pointer);
            }
            EXPECT_TRUE(picture.save(file)) << file.toStdString();
        }
    }

    // Opens every window the program has, one after the other, and looks at each.
    void LookAtEveryWindow(const Sample& sample) {
        RunSql(m_db, "drop table if exists MWDX_TRASH; drop table if exists MWDX_TRASH_NODE;"
                     "delete from FILE_NODE; insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,"
                     "RAW_FILE_NAME,PATH_LEVEL) values" +
                         sample.rows + ";");
        m_suffix = sample.suffix;
        auto window = OpenWindow();
        auto* tree = window->findChild<CTreeCtrlEx*>();
        const auto item = [&](NodeId id) { return window->ShowItem(window->Catalog().NodeById(id)); };
        window->ExpandItem(item(1));
        window->SelectItem(item(6)); // the book
        Look("main-window", window.get());

        // A search: only the matches and the catalogs above them, with their number.
        auto* field = Child<QLineEdit>(window.get(), "searchEdit");
        auto* count = Child<QLabel>(window.get(), "matchCount");
        field->setText(QString::fromUtf8(sample.search));
        EXPECT_TRUE(WaitUntil([&] { return !count->text().isEmpty(); }));
        window->repaint();
        Look("main-window-search", window.get());
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Escape);

        // A drag of the exam notes over Mathematics, which is framed as the place they would go.
        auto* view = tree;
        const QPersistentModelIndex exam = item(7);
        const QPersistentModelIndex maths = item(2);
        window->SelectItem(exam);
        const std::unique_ptr<QMimeData> dragged(view->DragData(exam));
        const QRect target = tree->visualRect(maths);
        const QPoint over = tree->viewport()->mapTo(window.get(), QPoint(target.left() + 40, target.center().y()));
        DragOverWindow(window.get(), dragged.get(), over);
        window->repaint();
        Look("main-window-drag", window.get(), exam.data(Qt::DecorationRole).value<QIcon>().pixmap(tree->iconSize()),
             over + QPoint(2, 2));
        DragOverWindow(window.get(), nullptr, {});

        // Several selected with Ctrl+click: the status line under the panes says how many.
        window->ShowAndSelect(
            {window->Catalog().NodeById(4), window->Catalog().NodeById(6), window->Catalog().NodeById(7)},
            window->Catalog().NodeById(6));
        window->repaint();
        EXPECT_TRUE(Child<QLabel>(window.get(), "selectionStatus")->isVisible());
        Look("main-window-multi", window.get());
        window->SelectItem(item(6));

        const auto cancel = [](QDialog* dialog) { Child<QPushButton>(dialog, "cancelButton")->click(); };
        ModalScript script;
        script
            .Then<CDirDlg>([&](CDirDlg* dialog) {
                Look("catalog-dialog", dialog);
                Child<QPushButton>(dialog, "okButton")->click();
            })
            .Then<QMessageBox>([&](QMessageBox* box) {
                Look("message-box", box);
                box->button(QMessageBox::Ok)->click();
            })
            .Then<CDirDlg>(cancel);
        window->SelectItem(item(1));
        window->OnCommand(kCmdAddSubCatalog);
        script.Then<CDirDlg>([&](CDirDlg* dialog) {
            Look("catalog-dialog-edit", dialog);
            cancel(dialog);
        });
        window->OnCommand(kCmdEditNode);
        script.Then<QMessageBox>([&](QMessageBox* box) {
            Look("confirm-box", box);
            box->button(QMessageBox::Cancel)->click();
        });
        window->OnCommand(kCmdDeleteNode);
        script.Then<CDocDlg>([&](CDocDlg* dialog) {
            Look("document-dialog", dialog);
            cancel(dialog);
        });
        window->OnCommand(kCmdAddDocumentHere);
        script.Then<CDocDlg>([&](CDocDlg* dialog) {
            Look("document-dialog-edit", dialog);
            cancel(dialog);
        });
        window->SelectItem(item(6));
        window->OnCommand(kCmdEditNode);
        script.Then<CConfigDlg>([&](CConfigDlg* dialog) {
            Look("config-dialog", dialog);
            cancel(dialog);
        });
        window->OnCommand(kCmdOption);
        WorkProgress transfer;
        CPRGDlg progress({ProgressLook::Kind::kTransfer, text::kTransferInProgress}, transfer, window.get());
        script.Then<CPRGDlg>([&](CPRGDlg* dialog) {
            Look("progress-window", dialog);
            dialog->NotifyWorkEnded();
        });
        progress.exec();
        script.Then<CMoveDlg>([&](CMoveDlg* dialog) {
            Look("move-dialog", dialog);
            cancel(dialog);
        });
        window->SelectItem(item(6));
        window->OnCommand(kCmdMoveNodeTo);
        WorkProgress batch;
        batch.items = 12;
        batch.Report(std::uint64_t{20} << 20, std::uint64_t{48} << 20);
        batch.StartItem(1, "feynman-lectures-1.pdf");
        CPRGDlg drop({ProgressLook::Kind::kBatch}, batch, window.get());
        script.Then<CPRGDlg>([&](CPRGDlg* dialog) {
            Look("drop-window", dialog);
            dialog->NotifyWorkEnded();
        });
        drop.exec();
        for (const auto& [name, textId, cancellable] :
             {std::tuple{"import-progress", text::kImportInProgress, true},
              std::tuple{"home-move-progress", text::kHomeMoveInProgress, false},
              std::tuple{"remove-progress", text::kRemoveInProgress, true}}) {
            WorkProgress work;
            work.Report(2, 5);
            CPRGDlg working({ProgressLook::Kind::kWork, textId, cancellable}, work, window.get());
            script.Then<CPRGDlg>([&, name = name](CPRGDlg* dialog) {
                Look(name, dialog);
                dialog->NotifyWorkEnded();
            });
            working.exec();
        }
        script.Then<QMessageBox>([&](QMessageBox* box) {
            Look("home-question", box);
            box->button(QMessageBox::Cancel)->click();
        });
        ChoicePrompt::Ask(window.get(), UiText(text::kHomeHoldsKnowledgeBase),
                          {text::kMoveEverything, text::kUseNewFolderAsItIs});
        Damage(*window);
        script.Then<CCheckDlg>([&](CCheckDlg* dialog) {
            auto* findings = Child<QTreeWidget>(dialog, "findingsTree");
            findings->setCurrentItem(findings->topLevelItem(0)->child(0)); // a missing file: Locate… is on
            Look("check-window", dialog);
            Child<QPushButton>(dialog, "closeButton")->click();
        });
        window->OnCommand(kCmdCheck);

        // Two catalogs deleted with their files, and the Trash window.
        ChangeStoreBehindWindow("update SYS_CONFIG set DELDOC_AFTERDELNODE=1;");
        LoadSettings();
        for (const NodeId id : {NodeId{4}, NodeId{10}}) {
            window->SelectItem(item(id));
            script.Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
            window->OnCommand(kCmdDeleteNode);
        }
        script.Then<CTrashDlg>([&](CTrashDlg* dialog) {
            Look("trash-window", dialog);
            Child<QPushButton>(dialog, "closeButton")->click();
        });
        window->OnCommand(kCmdTrash);

        // The tree's menu offers to undo the last delete, by its command and name.
        window->SelectItem(item(1));
        script.Then<QMenu>([&](QMenu* menu) {
            Look("main-window-undo", window.get(), menu->grab(), window->mapFromGlobal(menu->pos()));
            menu->close();
        });
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {}, {});
        QApplication::sendEvent(tree->viewport(), &menuKey);
        EXPECT_TRUE(script.Finished());
    }

    // A little of every damage the check window mends, at a real Home Directory: two catalogs and
    // two documents missing, a file and a folder no node owns, a row whose parent is gone, a
    // wrong level, and the page's style sheet missing.
    void Damage(CMarrowdexDlg& window) {
        ChangeStoreBehindWindow("update SYS_CONFIG set ROOT_DIR='" + m_home +
                                "'; update FILE_NODE set PATH_LEVEL=4 where FILE_ID=8;"
                                "insert into FILE_NODE values(11,'" +
                                std::string(m_suffix == std::string("zh") ? "旧笔记" : "Old notes") +
                                "',99,'',0,'',2);");
        LoadSettings();
        window.ReloadTree();
        for (const auto& entry : fs::directory_iterator(m_home)) {
            fs::remove_all(entry.path()); // the other language's
        }
        ForEachDescendant(*window.Catalog().RootNode(), [](const CatalogNode& node) {
            const NodeId id = node.FileId();
            if (id == 3 || id == 9 || id == 7) {
                return;
            }
            if (node.IsCatalog()) {
                fs::create_directories(node.Path());
            } else {
                std::ofstream(node.Path()) << "x";
            }
        });
        std::ofstream(window.Catalog().NodeById(1)->Path() + "/scan-0042.pdf") << "x";
        fs::create_directories(m_home + "/Inbox");
        fs::remove_all(m_home + "/js");
        fs::copy(m_program + "/js", m_home + "/js", fs::copy_options::recursive);
        fs::remove(m_home + "/js/dtree.css");
    }

    std::vector<std::string> m_seen;
    const char* m_suffix = "";
    double m_scale = std::getenv("QT_SCALE_FACTOR") != nullptr ? std::atof(std::getenv("QT_SCALE_FACTOR")) : 0;
};

TEST_F(WindowsFit, EveryWindowShowsItsTextsWholeInBothLanguages) {
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.lang);
        const ScopedLocale locale(sample.lang);
        m_seen.clear();
        LookAtEveryWindow(sample);
        EXPECT_EQ(m_seen, (std::vector<std::string>{"main-window",          "main-window-search", "main-window-drag",
                                                    "main-window-multi",    "catalog-dialog",     "message-box",
                                                    "catalog-dialog-edit",  "confirm-box",        "document-dialog",
                                                    "document-dialog-edit", "config-dialog",      "progress-window",
                                                    "move-dialog",          "drop-window",        "import-progress",
                                                    "home-move-progress",   "remove-progress",    "home-question",
                                                    "check-window",         "trash-window",       "main-window-undo"}));
    }
}

} // namespace
} // namespace mwdx::test
