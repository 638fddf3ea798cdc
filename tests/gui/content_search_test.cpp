// Content search in the main window, on a real store, real documents and the real extraction
// worker beside the program: the documents are indexed in the background from the start, with the
// progress shown beside the buttons; the search field finds documents by what is written in them,
// in the same filtered tree, each such row marked where the view draws it and for a screen reader;
// the comment pane shows the words around the first place with the words found marked, and the
// page of a PDF; whatever a command adds, moves, renames or deletes is found (or not) at once.

#include "app/catalog_tree_model.h"
#include "app/tree_ctrl_ex.h"
#include "commands/dir_dlg.h"
#include "commands/doc_dlg.h"
#include "gui_fixture.h"
#include "support/document_files.h"
#include "textindex/text_index.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// Replaces the search field's text as typing it would (text outside ASCII as an input method hands
// it over); an empty text clears the field.
void Search(CMarrowdexDlg& window, const QString& text) {
    auto* field = Child<QLineEdit>(&window, "searchEdit");
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    TypeInto(field, text);
}

// Waits until the tree shows `lines` (ViewLines' form); false when it does not within `ms`.
bool WaitForRows(CMarrowdexDlg& window, const QStringList& lines, int ms = 10000) {
    return WaitUntil([&] { return ViewLines(*TreeOf(window)) == lines; }, ms);
}

// What each row of the tree draws, top to bottom: the pieces of text painted inside the row, joined
// by " | ", a piece drawn in italic between underscores. Rows must be in view.
QStringList DrawnRows(CMarrowdexDlg& window) {
    CTreeCtrlEx& tree = *TreeOf(window);
    const std::vector<DrawnText> texts = DrawnTexts(tree.viewport());
    QStringList rows;
    for (const ViewRow& row : ViewRows(tree)) {
        const QRect place = tree.visualRect(row.index);
        QStringList pieces;
        for (const DrawnText& text : texts) {
            if (place.top() <= text.at.y() && text.at.y() <= place.bottom() && !text.text.trimmed().isEmpty()) {
                pieces << (text.italic ? QLatin1Char('_') + text.text + QLatin1Char('_') : text.text);
            }
        }
        rows << pieces.join(QStringLiteral(" | "));
    }
    return rows;
}

// The description a screen reader hears for the row showing `name`.
QString AccessibleDescription(CMarrowdexDlg& window, const QString& name) {
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(TreeOf(window));
    std::vector<QAccessibleInterface*> stack{tree};
    while (!stack.empty()) {
        QAccessibleInterface* at = stack.back();
        stack.pop_back();
        if (at != tree && at->text(QAccessible::Name) == name) {
            return at->text(QAccessible::Description);
        }
        for (int i = at->childCount() - 1; i >= 0; --i) {
            if (QAccessibleInterface* child = at->child(i)) {
                stack.push_back(child);
            }
        }
    }
    ADD_FAILURE() << "no item named " << name.toStdString();
    return {};
}

// Clicks the row showing `name`, as the user selects it.
void ClickRow(CMarrowdexDlg& window, const QString& name) {
    CTreeCtrlEx& tree = *TreeOf(window);
    for (const ViewRow& row : ViewRows(tree)) {
        if (row.name == name) {
            QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.ItemRect(row.index).center());
            return;
        }
    }
    ADD_FAILURE() << "no row named " << name.toStdString();
}

// The comment pane's text, the words shown bold on a marker colour between brackets.
QString MarkedPaneText(CMarrowdexDlg& window) {
    auto* pane = Child<QPlainTextEdit>(&window, "commentPane");
    QString text;
    for (QTextBlock block = pane->document()->begin(); block.isValid(); block = block.next()) {
        if (block != pane->document()->begin()) {
            text += QLatin1Char('\n');
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const bool marked = fragment.charFormat().fontWeight() == QFont::Bold &&
                                fragment.charFormat().background().style() != Qt::NoBrush;
            text += marked ? QLatin1Char('[') + fragment.text() + QLatin1Char(']') : fragment.text();
        }
    }
    return text;
}

class ContentSearchWindow : public GuiTest {
protected:
    void SetUp() override {
        PlaceExtractionWorker();
        MakeDatabase(true);
        RunSql(m_db, "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                     "values(1,'Physics',0,'Lecture notes and books',0,'',1),"
                     "(2,'Lecture',1,'Borrowed from the library',1,'lecture.pdf',2),"
                     "(3,'Notes',1,'',1,'notes.txt',2),"
                     "(4,'Recipes',0,'',0,'',1),"
                     "(5,'Apple pie',4,'',1,'pie.odt',2),"
                     "(6,'读书笔记',0,'',1,'读书笔记.docx',1);");
        fs::create_directories(m_home + "/Physics");
        fs::create_directories(m_home + "/Recipes");
        std::ofstream(m_home + "/Physics/lecture.pdf")
            << PdfBytes({"Contents", "The Quantum field, explained in full", "Exercises"});
        std::ofstream(m_home + "/Physics/notes.txt") << "entropy grows; the quantum of action is small";
        WriteOdt(m_home + "/Recipes/pie.odt", "Apple pie with cinnamon, baked for an hour");
        WriteDocx(m_home + "/读书笔记.docx", "关于知识管理的读书笔记");
    }

    // Waits until the index holds `documents` documents read (a fresh connection to the file, as
    // the command-line tool would open it).
    bool WaitForIndexed(std::size_t documents) {
        return WaitUntil(
            [&] {
                const std::unique_ptr<TextIndex> index =
                    TextIndex::Open(TextIndexPathFor(m_db), TextIndex::Mode::kRead);
                return index && index->Documents().size() == documents;
            },
            20000);
    }
};

TEST_F(ContentSearchWindow, TheFieldFindsDocumentsByTheirTextMarkedInTheTreeWithTheWordsAroundInThePane) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForIndexed(4));
    auto* count = Child<QLabel>(window.get(), "matchCount");

    // Words typed as the user types them: "quant" is the start of a word in two documents' text.
    Search(*window, QStringLiteral("quant"));
    ASSERT_TRUE(WaitForRows(*window, {"Physics", "  Lecture", "  Notes"})) << ViewLines(*TreeOf(*window)).join('/').toStdString();
    EXPECT_EQ(DrawnRows(*window),
              (QStringList{"Physics", "Lecture | _found in the text_", "Notes | _found in the text_"}));
    EXPECT_EQ(count->text(), QStringLiteral("2"));
    EXPECT_EQ(AccessibleDescription(*window, QStringLiteral("Lecture")), QStringLiteral("found in the text"));
    EXPECT_EQ(AccessibleDescription(*window, QStringLiteral("Physics")), QString());

    // The mark is quieter than the name: another colour than the name's.
    {
        const std::vector<DrawnText> drawn = DrawnTexts(TreeOf(*window)->viewport());
        const auto name = std::find_if(drawn.begin(), drawn.end(), [](const DrawnText& t) { return t.text == "Notes"; });
        const auto mark = std::find_if(drawn.begin(), drawn.end(), [&](const DrawnText& t) {
            return t.text == "found in the text" && name != drawn.end() && std::abs(t.at.y() - name->at.y()) < 2;
        });
        ASSERT_NE(name, drawn.end());
        ASSERT_NE(mark, drawn.end());
        EXPECT_NE(mark->color, name->color);
        EXPECT_GT(mark->at.x(), name->at.x()) << "after the name";
    }

    // The Lecture selected: its comment, then where the words are, on its page.
    ClickRow(*window, QStringLiteral("Lecture"));
    ASSERT_TRUE(WaitUntil([&] { return MarkedPaneText(*window).contains(QStringLiteral("page")); }))
        << MarkedPaneText(*window).toStdString();
    EXPECT_EQ(MarkedPaneText(*window), QStringLiteral("Borrowed from the library\n\nFound in the text, on page 2:\n"
                                                "Contents The [Quantum] field, explained in full Exercises"));

    // A phrase, and words in any order: the comment of Physics is a name match, the notes a text match.
    Search(*window, QStringLiteral("\"quantum field\""));
    ASSERT_TRUE(WaitForRows(*window, {"Physics", "  Lecture"}));
    Search(*window, QStringLiteral("small entropy"));
    ASSERT_TRUE(WaitForRows(*window, {"Physics", "  Notes"}));
    ClickRow(*window, QStringLiteral("Notes"));
    ASSERT_TRUE(WaitUntil([&] { return MarkedPaneText(*window).contains(QStringLiteral("Found")); }));
    EXPECT_EQ(MarkedPaneText(*window), QStringLiteral("Found in the text:\n"
                                                "[entropy] grows; the quantum of action is [small]"))
        << "no comment, and no page for a text file";

    // Found by its name and by its text: one row, marked; a name match alone is not marked.
    Search(*window, QStringLiteral("apple"));
    ASSERT_TRUE(WaitForRows(*window, {"Recipes", "  Apple pie"}));
    EXPECT_TRUE(WaitUntil([&] { return DrawnRows(*window).value(1) == "Apple pie | _found in the text_"; }));
    EXPECT_EQ(count->text(), QStringLiteral("1"));
    Search(*window, QStringLiteral("recip"));
    ASSERT_TRUE(WaitForRows(*window, {"Recipes"}));
    EXPECT_EQ(DrawnRows(*window), QStringList{"Recipes"});

    // Case, accents and full-width forms fold; nothing matches: an empty tree.
    Search(*window, QStringLiteral("ＣＩＮＮＡＭÓＮ"));
    ASSERT_TRUE(WaitForRows(*window, {"Recipes", "  Apple pie"}));
    Search(*window, QStringLiteral("zeppelin"));
    ASSERT_TRUE(WaitForRows(*window, {}));
    EXPECT_EQ(count->text(), QStringLiteral("0"));

    // Escape: the tree as it was, the Notes selected under the search still selected, nothing
    // marked any more.
    QTest::keyClick(Child<QLineEdit>(window.get(), "searchEdit"), Qt::Key_Escape);
    ASSERT_TRUE(WaitForRows(*window, {"Physics", "  Lecture", "  Notes", "Recipes", "读书笔记"}))
        << ViewLines(*TreeOf(*window)).join('/').toStdString();
    EXPECT_EQ(DrawnRows(*window), (QStringList{"Physics", "Lecture", "Notes", "Recipes", "读书笔记"}));
    ClickRow(*window, QStringLiteral("Lecture"));
    QTest::qWait(200);
    EXPECT_EQ(MarkedPaneText(*window), QStringLiteral("Borrowed from the library")) << "no snippet without a search";
}

TEST_F(ContentSearchWindow, ChineseOfAnyLengthIsFoundAndSaidInChinese) {
    const ScopedLocale locale("zh_CN.UTF-8");
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForIndexed(4));
    for (const QString& query : {QStringLiteral("知"), QStringLiteral("知识"), QStringLiteral("知识管"),
                                 QStringLiteral("识管理的"), QStringLiteral("管理 读书")}) {
        Search(*window, query);
        ASSERT_TRUE(WaitForRows(*window, {"读书笔记"})) << query.toStdString();
        EXPECT_EQ(DrawnRows(*window), QStringList{"读书笔记 | _在内容中找到_"}) << query.toStdString();
    }
    // A query mixing Chinese and Latin words.
    Search(*window, QStringLiteral("quantum 笔记"));
    ASSERT_TRUE(WaitForRows(*window, {}));
    Search(*window, QStringLiteral("知识"));
    ASSERT_TRUE(WaitForRows(*window, {"读书笔记"}));
    EXPECT_EQ(AccessibleDescription(*window, QStringLiteral("读书笔记")), QStringLiteral("在内容中找到"));
    ClickRow(*window, QStringLiteral("读书笔记"));
    ASSERT_TRUE(WaitUntil([&] { return MarkedPaneText(*window).contains(QStringLiteral("找到")); }));
    EXPECT_EQ(MarkedPaneText(*window), QStringLiteral("在内容中找到：\n关于[知识]管理的读书笔记"));
    Search(*window, QStringLiteral("field"));
    ASSERT_TRUE(WaitForRows(*window, {"Physics", "  Lecture"}));
    ClickRow(*window, QStringLiteral("Lecture"));
    ASSERT_TRUE(WaitUntil([&] { return MarkedPaneText(*window).contains(QStringLiteral("页")); }));
    EXPECT_TRUE(MarkedPaneText(*window).contains(QStringLiteral("在内容的第 2 页找到：\n"))) << MarkedPaneText(*window).toStdString();
}

// The path the content index holds for document `id` (a fresh connection to the file); empty when it
// does not know the document.
std::string IndexedPath(const std::string& db, NodeId id) {
    const std::unique_ptr<TextIndex> index = TextIndex::Open(TextIndexPathFor(db), TextIndex::Mode::kRead);
    const std::optional<IndexedDocument> document = index ? index->Document(id) : std::nullopt;
    return document ? document->path : std::string();
}

TEST_F(ContentSearchWindow, WhatACommandAddsMovesRenamesOrDeletesIsFoundOrForgottenAtOnce) {
    const ScopedLocale locale("en_US.UTF-8");
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForIndexed(4));
    CatalogModel& catalog = window->Catalog();

    // Added through the program: found by its text within two seconds of the command's end.
    const std::string source = m_dir.File("zeppelin.txt");
    std::ofstream(source) << "a zeppelin over the harbour at dawn";
    {
        ModalScript script;
        script.Then<CDocDlg>(
            [&](CDocDlg* dialog) {
                Child<QLineEdit>(dialog, "pathEdit")->setText(QString::fromStdString(source));
                Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Airships"));
                Child<QPushButton>(dialog, "okButton")->click();
            },
            "the document dialog");
        window->SelectItem(window->ItemOf(catalog.NodeById(1)));
        window->OnCommand(kCmdAddDocumentHere);
        ASSERT_TRUE(script.Finished());
    }
    QElapsedTimer since;
    since.start();
    Search(*window, QStringLiteral("zeppelin"));
    ASSERT_TRUE(WaitForRows(*window, {"Physics", "  Airships"}, 2000))
        << "not found 2 s after it was added; the tree shows " << ViewLines(*TreeOf(*window)).join('/').toStdString();
    EXPECT_LT(since.elapsed(), 2000);
    EXPECT_EQ(DrawnRows(*window), (QStringList{"Physics", "Airships | _found in the text_"}));
    const NodeId added = std::stoll(QueryText(m_db, "select FILE_ID from FILE_NODE where FILE_NAME='Airships';"));
    ASSERT_NE(catalog.NodeById(added), nullptr);
    QTest::keyClick(Child<QLineEdit>(window.get(), "searchEdit"), Qt::Key_Escape);

    // The catalog renamed: the document's file moved with its folder, and the index follows it.
    {
        ModalScript script;
        script.Then<CDirDlg>([](CDirDlg* dialog) {
            Child<QLineEdit>(dialog, "nameEdit")->setText(QStringLiteral("Science"));
            Child<QPushButton>(dialog, "okButton")->click();
        });
        window->SelectItem(window->ItemOf(catalog.NodeById(1)));
        window->OnCommand(kCmdEditNode);
        ASSERT_TRUE(script.Finished());
    }
    ASSERT_TRUE(fs::exists(m_home + "/Science/zeppelin.txt"));
    EXPECT_TRUE(WaitUntil([&] { return IndexedPath(m_db, added) == m_home + "/Science/zeppelin.txt"; }, 2000))
        << IndexedPath(m_db, added);
    EXPECT_EQ(IndexedPath(m_db, 2), m_home + "/Science/lecture.pdf") << "everything below the catalog";

    // Moved onto Recipes, as a drop of the node does it.
    Invocation drop{Invocation::From::kDrop};
    drop.target = catalog.NodeById(4);
    drop.droppedNode = added;
    window->OnCommand(kCmdMoveNodeTo, drop);
    ASSERT_TRUE(fs::exists(m_home + "/Recipes/zeppelin.txt"));
    EXPECT_TRUE(WaitUntil([&] { return IndexedPath(m_db, added) == m_home + "/Recipes/zeppelin.txt"; }, 2000));
    Search(*window, QStringLiteral("harbour"));
    ASSERT_TRUE(WaitForRows(*window, {"Recipes", "  Airships"}, 2000));
    QTest::keyClick(Child<QLineEdit>(window.get(), "searchEdit"), Qt::Key_Escape);

    // Deleted: never found again, and gone from the index.
    {
        ModalScript script;
        script.Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
        window->SelectItem(window->ShowItem(catalog.NodeById(added)));
        window->OnCommand(kCmdDeleteNode);
        ASSERT_TRUE(script.Finished());
    }
    ASSERT_EQ(catalog.NodeById(added), nullptr);
    Search(*window, QStringLiteral("zeppelin"));
    EXPECT_TRUE(WaitForRows(*window, {}));
    EXPECT_TRUE(WaitUntil([&] { return IndexedPath(m_db, added).empty(); }, 2000));
    QTest::keyClick(Child<QLineEdit>(window.get(), "searchEdit"), Qt::Key_Escape);

    // Files dropped in from the file manager, and a folder imported: found within two seconds too.
    const std::string inbox = m_dir.File("inbox");
    fs::create_directories(inbox + "/Travel");
    std::ofstream(inbox + "/dirigible.txt") << "the dirigible landed in the field";
    std::ofstream(inbox + "/Travel/blimp.txt") << "a blimp advertising tyres";
    {
        CTreeCtrlEx* tree = TreeOf(*window);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(inbox + "/dirigible.txt"))});
        const QRect row = tree->ItemRect(window->ItemOf(catalog.NodeById(4)));
        ASSERT_TRUE(DropOnWindow(window.get(), data, tree->viewport()->mapTo(window.get(), row.center()),
                                 Qt::CopyAction));
    }
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(m_home + "/Recipes/dirigible.txt") && TopModal() == nullptr; }));
    Search(*window, QStringLiteral("dirigible"));
    ASSERT_TRUE(WaitForRows(*window, {"Recipes", "  dirigible.txt"}, 2000))
        << ViewLines(*TreeOf(*window)).join('/').toStdString();
    QTest::keyClick(Child<QLineEdit>(window.get(), "searchEdit"), Qt::Key_Escape);
    {
        ModalScript script;
        script.Then<QFileDialog>(
            [&](QFileDialog* chooser) {
                chooser->setDirectory(QString::fromStdString(inbox + "/Travel"));
                static_cast<QDialog*>(chooser)->accept();
            },
            "the folder chooser");
        window->SelectItem({});
        window->OnCommand(kCmdImportFolder, Invocation{Invocation::From::kMenu});
        ASSERT_TRUE(script.Finished());
    }
    Search(*window, QStringLiteral("tyres"));
    ASSERT_TRUE(WaitForRows(*window, {"Travel", "  blimp.txt"}, 2000))
        << ViewLines(*TreeOf(*window)).join('/').toStdString();
}

TEST_F(ContentSearchWindow, IndexingRunsBehindTheWindowWithItsProgressShownAndGoesOnAfterARestart) {
    const ScopedLocale locale("en_US.UTF-8");
    // Many letters, and among them one whose reading hangs (a pipe nobody writes to, as a file on
    // a share that stopped answering): the pass stays under way while the user works.
    fs::create_directories(m_home + "/Letters");
    std::string rows = "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                       "values(10,'Letters',0,'',0,'',1),(11,'Stuck',10,'',1,'stuck.txt',2)";
    for (int i = 0; i < 40; ++i) {
        const std::string name = "letter-" + std::to_string(i) + ".txt";
        std::ofstream(m_home + "/Letters/" + name) << "dear friend, letter number" << i;
        rows += ",(" + std::to_string(100 + i) + ",'" + name + "',10,'',1,'" + name + "',2)";
    }
    RunSql(m_db, rows + ";");
    ASSERT_EQ(::mkfifo((m_home + "/Letters/stuck.txt").c_str(), 0600), 0);

    auto window = OpenWindow();
    auto* status = Child<QLabel>(window.get(), "indexStatus");
    // The four documents before the letters are read; then the stuck one holds the pass.
    ASSERT_TRUE(WaitUntil([&] { return status->isVisible() && status->text() == "Indexing 4 of 45 documents"; }))
        << status->text().toStdString();
    // The window answers meanwhile: a name search, the content of what is read already.
    Search(*window, QStringLiteral("stuck"));
    ASSERT_TRUE(WaitForRows(*window, {"Letters", "  Stuck"}, 2000));
    EXPECT_TRUE(status->isVisible()) << "still reading the stuck file";
    window.reset();

    // Next start: what was read is kept, the rest is read, the stuck file given up after its time.
    std::unique_ptr<TextIndex> before = TextIndex::Open(TextIndexPathFor(m_db), TextIndex::Mode::kRead);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->Documents().size(), 4u) << "what was read is kept; the file cut short is not recorded";
    before.reset();
    // The user throws the index away: the next start makes it again from the documents.
    fs::remove(TextIndexPathFor(m_db));
    fs::remove(m_home + "/Letters/stuck.txt");
    window = OpenWindow();
    status = Child<QLabel>(window.get(), "indexStatus");
    Search(*window, QStringLiteral("number39"));
    ASSERT_TRUE(WaitForRows(*window, {"Letters", "  letter-39.txt"}, 20000));
    EXPECT_TRUE(WaitUntil([&] { return !status->isVisible(); }, 20000)) << status->text().toStdString();
    EXPECT_TRUE(WaitForIndexed(45));
}

TEST_F(ContentSearchWindow, AtTensOfThousandsOfDocumentsTheListForThePassIsGatheredASliceAtATime) {
    const ScopedLocale locale("en_US.UTF-8");
    // 40 catalogs of 1,000 documents each (their files missing: the index records that quickly).
    RunSql(m_db, "with recursive n(i) as (select 1 union all select i + 1 from n where i < 40) "
                 "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                 "select 1000 + i, 'Box ' || i, 0, '', 0, '', 1 from n;"
                 "with recursive n(i) as (select 0 union all select i + 1 from n where i < 39999) "
                 "insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                 "select 100000 + i, 'Card ' || i, 1001 + i / 1000, '', 1, 'card-' || i || '.txt', 2 from n;");
    auto window = OpenWindow();
    auto* status = Child<QLabel>(window.get(), "indexStatus");
    // A catalog deleted while the documents are still being gathered: the list begins again, and
    // the pass is over what is left.
    {
        ModalScript script;
        script.Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
        window->SelectItem(window->ItemOf(window->Catalog().NodeById(1040)));
        window->OnCommand(kCmdDeleteNode);
        ASSERT_TRUE(script.Finished());
    }
    ASSERT_TRUE(WaitUntil([&] { return status->text().startsWith("Indexing "); }, 20000)) << status->text().toStdString();
    // The window answers meanwhile: a search finds a card by its name.
    Search(*window, QStringLiteral("Card 38999"));
    EXPECT_TRUE(WaitForRows(*window, {"Box 39", "  Card 38999"}));
    // At the end the index knows exactly the documents left, each recorded with its file missing.
    QElapsedTimer took;
    took.start();
    EXPECT_TRUE(WaitUntil([&] { return !status->isVisible(); }, 60000)) << status->text().toStdString();
    EXPECT_TRUE(WaitForIndexed(39004));
    std::printf("40,000 documents without files recorded in %.1f s\n", took.elapsed() / 1000.0);
}

TEST_F(ContentSearchWindow, WithoutTheExtractionWorkerTheWindowSaysSoQuietly) {
    const ScopedLocale locale("en_US.UTF-8");
    fs::remove(m_program + "/marrowdex-extract");
    auto window = OpenWindow();
    auto* status = Child<QLabel>(window.get(), "indexStatus");
    const QString cannotRead = QStringLiteral("Documents cannot be read for content search: marrowdex-extract is "
                                              "missing beside the program or cannot run");
    // Said in full where it fits, else cut to the room beside the buttons, the whole of it (and
    // what failed) in the tooltip.
    const auto said = [&] {
        QString shown = status->text();
        if (shown.endsWith(QChar(0x2026))) {
            shown.chop(1);
        }
        return status->isVisible() && !shown.isEmpty() && cannotRead.startsWith(shown);
    };
    ASSERT_TRUE(WaitUntil(said)) << status->text().toStdString();
    QTest::qWait(300);
    EXPECT_TRUE(said()) << "and it stays said: " << status->text().toStdString();
    EXPECT_TRUE(status->toolTip().startsWith(cannotRead + "\n")) << status->toolTip().toStdString();
    EXPECT_TRUE(status->toolTip().contains(QString::fromStdString(m_program + "/marrowdex-extract")))
        << status->toolTip().toStdString();
    // The window still fits where it did: the line takes only the room there is.
    EXPECT_LE(window->minimumSizeHint().width(), 640);
    EXPECT_EQ(TopModal(), nullptr) << "no message box: the program works on without it";
    // Names are found as ever.
    Search(*window, QStringLiteral("pie"));
    EXPECT_TRUE(WaitForRows(*window, {"Recipes", "  Apple pie"}));
}

} // namespace
} // namespace mwdx::test
