// The store, the index page and the program never become documents: a folder that holds them is
// not imported, a Home Directory that holds them never offers them as untracked, no command moves
// or deletes them, and the page's own names stay the page's at the top level, whatever the route.

#include "catalog/loader.h"
#include "index/page_texts.h"
#include "index/page_writer.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/check.h"
#include "operations/delete_node.h"
#include "operations/edit_node.h"
#include "operations/home_move.h"
#include "operations/import_folder.h"
#include "operations/move_node.h"
#include "platform/language.h"
#include "platform/text_ids.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class ProgramFilesTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        fs::create_directories(m_realHome);
        SetHome(m_realHome);
        ASSERT_EQ(Reload(), 1);
    }

    // A staged program folder at `folder`: the program, a tool, its extraction worker, its script
    // and help, a store, and the content index beside it.
    static ProgramFiles StageProgram(const std::string& folder) {
        MakeFile(folder + "/marrowdex", "program");
        MakeFile(folder + "/marrowdex-check", "tool");
        MakeFile(folder + "/marrowdex-extract", "worker");
        MakeFile(folder + "/js/dtree.js", "script");
        MakeFile(folder + "/ehelp.html", "help");
        MakeFreshDatabase(folder + "/mymwdx.db");
        MakeFile(folder + "/mymwdx.db-journal", "");
        MakeFile(folder + "/mymwdx_text.db", "index");
        MakeFile(folder + "/mymwdx_text.db-wal", "");
        return ProgramFilesIn(folder);
    }

    // Every path below `folder`, relative to it, sorted.
    static std::vector<std::string> Tree(const std::string& folder) {
        std::vector<std::string> all;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            all.push_back(entry.path().string().substr(folder.size() + 1));
        }
        std::sort(all.begin(), all.end());
        return all;
    }

    std::vector<std::string> Untracked(const ProgramFiles& program) {
        CatalogModel fresh;
        LoadReport load;
        LoadCatalog(fresh, &load);
        std::vector<std::string> paths;
        for (const Finding& f : CheckKnowledgeBase(fresh, load, m_realHome, program).findings) {
            if (f.kind == FindingKind::kUntracked) {
                paths.push_back(f.path.substr(m_realHome.size() + 1));
            }
        }
        return paths;
    }

    std::string Rows() const {
        return QueryText(m_db, "select ifnull(group_concat(FILE_NAME, ','),'') from FILE_NODE;");
    }

    std::string m_realHome = m_dir.File("Knowledge");
};

TEST_F(ProgramFilesTest, AFolderThatHoldsTheProgramOrItsStoreIsNeverImported) {
    // The program was unpacked into the user's Apps folder, beside notes of their own.
    const std::string apps = m_dir.File("Apps");
    const ProgramFiles program = StageProgram(apps + "/marrowdex");
    MakeFile(apps + "/notes/todo.txt", "todo");
    const std::vector<std::string> before = Tree(apps);

    // Moved in ("Delete the original"), the live store and the program would go.
    for (const std::string& source : {apps, apps + "/marrowdex", apps + "/marrowdex/js", m_dir.Path().string()}) {
        const ImportResult result = ImportOperation(m_model, m_realHome, nullptr, source, true, program);
        EXPECT_FALSE(result.result.done) << source;
        EXPECT_EQ(result.result.message, text::kHoldsProgramFiles) << source;
    }
    EXPECT_EQ(Tree(apps), before);
    EXPECT_EQ(Rows(), "");
    EXPECT_TRUE(Entries(m_realHome).empty());

    // Nor is one of its files moved in as a document; copying one is harmless.
    NewDocument request;
    request.source = apps + "/marrowdex/marrowdex";
    request.name = "Program";
    request.move = true;
    request.program = program;
    EXPECT_EQ(AddDocumentOperation(m_model, m_realHome, request).message, text::kSourceBelongsToStore);
    request.source = apps + "/marrowdex/mymwdx_text.db";
    EXPECT_EQ(AddDocumentOperation(m_model, m_realHome, request).message, text::kSourceBelongsToStore)
        << "the content index is the store's too";
    request.source = apps + "/marrowdex/marrowdex";
    request.move = false;
    EXPECT_TRUE(AddDocumentOperation(m_model, m_realHome, request).done);
    EXPECT_EQ(Tree(apps), before);

    // What lies beside it is the user's, and comes in as ever.
    ASSERT_TRUE(ImportOperation(m_model, m_realHome, nullptr, apps + "/notes", true, program).result.done);
    EXPECT_EQ(Bytes(m_realHome + "/notes/todo.txt"), "todo");
    EXPECT_FALSE(fs::exists(apps + "/notes"));
}

TEST_F(ProgramFilesTest, AHomeDirectoryThatHoldsTheProgramNeverOffersItsFiles) {
    // The user chose a Home Directory above the program's folder.
    const ProgramFiles program = StageProgram(m_realHome + "/Apps/marrowdex");
    MakeFile(m_realHome + "/Apps/readme.txt", "readme");
    MakeFile(m_realHome + "/Notes/a.txt", "a");

    // The check looks into the folders on the way but never offers the program's.
    EXPECT_EQ(Untracked(program), (std::vector<std::string>{"Apps/readme.txt", "Notes"}));

    // Taken in place: the Home Directory as a whole brings in the user's folders; a folder that
    // holds the program, or the store itself, is refused.
    const ImportResult all = ImportOperation(m_model, m_realHome, nullptr, m_realHome, false, program);
    ASSERT_TRUE(all.result.done) << all.result.detail;
    ASSERT_EQ(all.skipped.size(), 1u);
    EXPECT_EQ(all.skipped[0].path, m_realHome + "/Apps");
    EXPECT_EQ(all.skipped[0].reason, text::kSkippedProgramFile);
    EXPECT_EQ(Rows(), "Notes,a.txt");
    for (const std::string& path :
         {m_realHome + "/Apps", m_realHome + "/Apps/marrowdex/mymwdx.db", m_realHome + "/Apps/readme.txt"}) {
        EXPECT_EQ(ImportOperation(m_model, m_realHome, nullptr, path, false, program).result.message,
                  text::kHoldsProgramFiles)
            << path;
    }
    EXPECT_EQ(Rows(), "Notes,a.txt");

    // A Home Directory that is the program's folder itself: only what the program put there is its own.
    const std::string folder = m_dir.File("Portable");
    const ProgramFiles portable = StageProgram(folder);
    MakeFile(folder + "/Diary/day.txt", "day");
    SetHome(folder);
    m_realHome = folder;
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Untracked(portable), std::vector<std::string>{"Diary"});
    const ImportResult here = ImportOperation(m_model, folder, nullptr, folder, false, portable);
    ASSERT_TRUE(here.result.done) << here.result.detail;
    EXPECT_EQ(here.skipped.size(), 8u)
        << "the program, its tool and worker, its help, its store with its journal, the content index with its log";
    EXPECT_EQ(Rows(), "Notes,a.txt,Diary,day.txt");
}

TEST_F(ProgramFilesTest, NoCommandMovesOrDeletesTheProgramsFiles) {
    // An older program made them documents: the store at the top of a Home Directory that is the
    // program's folder, and a catalog whose folder holds the program.
    const ProgramFiles program = StageProgram(m_realHome);
    MakeFile(m_realHome + "/Tools/marrowdex/marrowdex", "another copy");
    const ProgramFiles other = ProgramFilesIn(m_realHome + "/Tools/marrowdex");
    AddRow(1, "Store", 0, 1, 1, "mymwdx.db");
    AddRow(2, "Tools", 0, 0, 1);
    AddRow(3, "Archive", 0, 0, 1);
    fs::create_directories(m_realHome + "/Archive");
    ASSERT_EQ(Reload(), 1);
    const std::string store = Bytes(m_realHome + "/mymwdx.db");
    CatalogNode* storeNode = m_model.NodeById(1);
    CatalogNode* tools = m_model.NodeById(2);
    CatalogNode* archive = m_model.NodeById(3);

    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *storeNode, archive, program).message,
              text::kCannotMoveProgramFiles);
    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *tools, archive, other).message, text::kCannotMoveProgramFiles);
    EXPECT_EQ(EditNodeOperation(m_model, m_realHome, *tools, "Programs", "", other).message,
              text::kCannotMoveProgramFiles);
    EXPECT_EQ(Tree(m_realHome + "/Tools"), (std::vector<std::string>{"marrowdex", "marrowdex/marrowdex"}));

    // Deleted with its files: the rows go, the files stay, and the user hears why.
    const OpResult deleted = DeleteNodeOperation(m_model, m_realHome, *storeNode, true, program);
    EXPECT_TRUE(deleted.done);
    EXPECT_EQ(deleted.message, text::kFilesKeptForProgram);
    EXPECT_EQ(Bytes(m_realHome + "/mymwdx.db"), store);
    EXPECT_EQ(DeleteNodeOperation(m_model, m_realHome, *tools, true, other).message, text::kFilesKeptForProgram);
    EXPECT_EQ(Bytes(m_realHome + "/Tools/marrowdex/marrowdex"), "another copy");
    EXPECT_EQ(Rows(), "Archive");

    // A new Home Directory takes the knowledge base but leaves the program its script folder.
    HomeMoveControl control;
    control.program = program;
    ASSERT_TRUE(MoveHomeOperation(m_model, m_realHome, m_dir.File("New"), control).done);
    EXPECT_EQ(Bytes(m_realHome + "/js/dtree.js"), "script");
    EXPECT_TRUE(fs::is_directory(m_dir.File("New/Archive")));
    EXPECT_FALSE(fs::exists(m_dir.File("New/js")));
}

TEST_F(ProgramFilesTest, ThePagesNamesAndJsAreRefusedAtTheTopLevelInEveryRoute) {
    MakeFile(m_realHome + "/js/dtree.js", "script");
    MakeFile(m_dir.File("inbox/mwdx_index.html"), "my own page");
    MakeFile(m_dir.File("inbox/js/mine.js"), "mine");
    CatalogNode* physics = nullptr;
    ASSERT_TRUE(AddCatalogOperation(m_model, m_realHome, {nullptr, "Physics", ""}, &physics).done);
    CatalogNode* subJs = nullptr;
    ASSERT_TRUE(AddCatalogOperation(m_model, m_realHome, {physics, "js", ""}, &subJs).done);
    CatalogNode* backup = nullptr;
    MakeFile(m_dir.File("inbox/mwdx_index.html_bak"), "an old page of mine");
    NewDocument inPhysics;
    inPhysics.parent = physics;
    inPhysics.source = m_dir.File("inbox/mwdx_index.html_bak");
    inPhysics.name = "Old page";
    ASSERT_TRUE(AddDocumentOperation(m_model, m_realHome, inPhysics, {}, &backup).done) << "below the top: fine";
    const std::string rows = Rows();
    const std::vector<std::string> before = Tree(m_realHome);

    NewDocument atTop;
    atTop.source = m_dir.File("inbox/mwdx_index.html");
    atTop.name = "My page";
    EXPECT_EQ(AddDocumentOperation(m_model, m_realHome, atTop).message, text::kNameNotUsable);
    for (const std::string& source : {m_dir.File("inbox/js"), m_dir.File("inbox/mwdx_index.html"), m_realHome + "/js",
                                      m_realHome + "/js/dtree.js"}) {
        EXPECT_EQ(ImportOperation(m_model, m_realHome, nullptr, source, true).result.message, text::kNameNotUsable)
            << source;
    }
    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *subJs, nullptr).message, text::kNameNotUsable);
    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *backup, nullptr).message, text::kNameNotUsable);
    EXPECT_EQ(EditNodeOperation(m_model, m_realHome, *physics, "mwdx_index.html", "").message, text::kNameNotUsable);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Tree(m_realHome), before);
    EXPECT_EQ(Bytes(m_dir.File("inbox/js/mine.js")), "mine");
}

TEST_F(ProgramFilesTest, ThePageNeverReplacesAFileThatANodeOwns) {
    // Rows an older program let in: a top-level document and a top-level catalog with the page's names.
    AddRow(1, "My page", 0, 1, 1, "mwdx_index.html");
    MakeFile(m_realHome + "/mwdx_index.html", "my own page");
    ASSERT_EQ(Reload(), 1);
    const LanguageStrings texts(true);
    PageWriteResult written = WriteIndexPage(m_model, texts, PageBackup::kPrevious);
    EXPECT_EQ(written.status, PageWriteStatus::kNameTaken);
    EXPECT_EQ(Bytes(m_realHome + "/mwdx_index.html"), "my own page");
    EXPECT_EQ(Entries(m_realHome), std::vector<std::string>{"mwdx_index.html"});

    RunSql(m_db, "delete from FILE_NODE; insert into FILE_NODE values(2,'mwdx_index.html_bak',0,'',0,'',1);");
    fs::rename(m_realHome + "/mwdx_index.html", m_dir.File("page"));
    MakeFile(m_realHome + "/mwdx_index.html_bak/kept.txt", "kept");
    MakeFile(m_realHome + "/mwdx_index.html", "the last page");
    ASSERT_EQ(Reload(), 1);
    written = WriteIndexPage(m_model, texts, PageBackup::kPrevious);
    EXPECT_EQ(written.status, PageWriteStatus::kNameTaken);
    EXPECT_EQ(Bytes(m_realHome + "/mwdx_index.html"), "the last page");
    EXPECT_EQ(Bytes(m_realHome + "/mwdx_index.html_bak/kept.txt"), "kept");

    // Once the node has another name, the page is written as ever.
    RunSql(m_db, "delete from FILE_NODE;");
    ASSERT_EQ(Reload(), 1);
    fs::remove_all(m_realHome + "/mwdx_index.html_bak");
    EXPECT_TRUE(WriteIndexPage(m_model, texts, PageBackup::kPrevious).Ok());
    EXPECT_EQ(Bytes(m_realHome + "/mwdx_index.html_bak"), "the last page");
}

} // namespace
} // namespace mwdx::test
