// The commands' rules, on a real store and real folders, without any window: what each refuses,
// what it changes when it succeeds, and that a failure leaves the store and the disk as they were.

#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/delete_node.h"
#include "operations/edit_node.h"
#include "operations/move_node.h"
#include "operations/recovery.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <thread>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// A document to add: its catalog, the chosen file, its name; moved in or copied.
NewDocument Document(CatalogNode* parent, const std::string& source, const std::string& name, bool move = false,
                     ProgramFiles program = {}) {
    NewDocument request;
    request.parent = parent;
    request.source = source;
    request.name = name;
    request.move = move;
    request.program = std::move(program);
    return request;
}

class OperationsTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        fs::create_directories(m_realHome);
        SetHome(m_realHome);
    }

    // The rows as "id:name:parent:level" in id order.
    std::string Rows() const {
        return QueryText(m_db, "select ifnull(group_concat(FILE_ID||':'||FILE_NAME||':'||PARENT_ID||':'||PATH_LEVEL,"
                               "' '),'') from (select * from FILE_NODE order by FILE_ID);");
    }
    // The kinds of the journal's entries ("" also when it was never made).
    std::string JournalKinds() const {
        if (QueryText(m_db, "select count(*) from sqlite_master where name='MWDX_JOURNAL';") == "0") {
            return "";
        }
        return QueryText(m_db, "select ifnull(group_concat(KIND),'') from MWDX_JOURNAL;");
    }

    CatalogNode* Catalog(CatalogNode* parent, const std::string& name) {
        CatalogNode* added = nullptr;
        const OpResult result = AddCatalogOperation(m_model, m_realHome, {parent, name, "about " + name}, &added);
        EXPECT_TRUE(result.done) << result.detail;
        return added;
    }

    // Another connection holds the write lock, as another program would, until Release().
    class StoreLock {
    public:
        explicit StoreLock(const std::string& db) {
            ExecStatement("PRAGMA busy_timeout=50;");
            sqlite3_open(db.c_str(), &m_other);
            sqlite3_exec(m_other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr);
        }
        ~StoreLock() { Release(); }
        void Release() {
            if (m_other != nullptr) {
                sqlite3_exec(m_other, "ROLLBACK;", nullptr, nullptr, nullptr);
                sqlite3_close(m_other);
                m_other = nullptr;
                ExecStatement("PRAGMA busy_timeout=5000;");
            }
        }

    private:
        sqlite3* m_other = nullptr;
    };

    std::string m_realHome = m_dir.File("Knowledge");
};

TEST_F(OperationsTest, ANewCatalogNeverTakesOverWhatIsAlreadyThere) {
    // Photos the user keeps in the Home Directory, a top-level document named "notes", the
    // page's script folder, and an empty folder left from earlier.
    MakeFile(m_realHome + "/Photos/p1.jpg", "photo");
    CatalogNode* notes = nullptr;
    MakeFile(m_dir.File("inbox/notes"), "my notes");
    ASSERT_TRUE(
        AddDocumentOperation(m_model, m_realHome, Document(nullptr, m_dir.File("inbox/notes"), "Notes"), {}, &notes)
            .done);
    fs::create_directories(m_realHome + "/Empty");
    fs::create_directories(m_realHome + "/js");
    const std::string rows = Rows();

    for (const char* taken : {"Photos", "notes"}) {
        const OpResult result = AddCatalogOperation(m_model, m_realHome, {nullptr, taken, ""});
        EXPECT_FALSE(result.done) << taken;
        EXPECT_EQ(result.message, text::kNameTakenOnDisk) << taken;
    }
    for (const char* reserved : {"js", "mwdx_index.html", "mwdx_index.html_bak"}) {
        EXPECT_EQ(AddCatalogOperation(m_model, m_realHome, {nullptr, reserved, ""}).message, text::kNameNotUsable)
            << reserved;
    }
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Bytes(m_realHome + "/Photos/p1.jpg"), "photo");
    EXPECT_EQ(Bytes(m_realHome + "/notes"), "my notes");

    // An empty folder nobody uses may be taken; "js" is a name like any other below the top.
    CatalogNode* empty = Catalog(nullptr, "Empty");
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(Catalog(empty, "js"), nullptr);
    EXPECT_TRUE(fs::is_directory(m_realHome + "/Empty/js"));
    EXPECT_EQ(JournalKinds(), "") << "nothing left in the journal";
}

TEST_F(OperationsTest, NamesAreTrimmedAndANewCatalogIsOneFolder) {
    RunSql(m_db, "create table SENT(FILE_ID); create trigger sent after update on FILE_NODE"
                 " begin insert into SENT values(new.FILE_ID); end;");
    // White space around a name is not part of it: not in the row, not in the folder's name.
    CatalogNode* physics = nullptr;
    ASSERT_TRUE(AddCatalogOperation(m_model, m_realHome, {nullptr, " \t Physics  ", "about Physics"}, &physics).done);
    EXPECT_EQ(physics->Details().fileName, "Physics");
    EXPECT_TRUE(fs::is_directory(m_realHome + "/Physics"));
    // Nothing but white space (blanks, a tab, the ideographic space) is no name at all.
    for (const char* blank : {"   ", "\t", "\xE3\x80\x80", ""}) {
        EXPECT_EQ(AddCatalogOperation(m_model, m_realHome, {physics, blank, ""}).message, text::kTypeCatalogName);
    }
    // A catalog is one folder: a '/' would make two, and leave one behind when it is deleted.
    EXPECT_EQ(AddCatalogOperation(m_model, m_realHome, {physics, "Heat/Engines", ""}).message, text::kNameNotUsable);
    EXPECT_EQ(AddCatalogOperation(m_model, m_realHome, {nullptr, " Physics ", ""}).message, text::kCatalogNameTaken);
    EXPECT_EQ(Rows(), "1:Physics:0:1");
    EXPECT_TRUE(fs::is_empty(m_realHome + "/Physics"));

    // Documents: the name is trimmed, the file keeps its own name.
    MakeFile(m_dir.File("inbox/lens.pdf"), "lens");
    CatalogNode* lens = nullptr;
    ASSERT_TRUE(AddDocumentOperation(m_model, m_realHome,
                                     Document(physics, m_dir.File("inbox/lens.pdf"), "  Lens notes "), {}, &lens)
                    .done);
    EXPECT_EQ(lens->Details().fileName, "Lens notes");
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Physics/lens.pdf"));
    MakeFile(m_dir.File("inbox/other.pdf"), "other");
    EXPECT_EQ(
        AddDocumentOperation(m_model, m_realHome, Document(physics, m_dir.File("inbox/other.pdf"), " \t ")).message,
        text::kChooseDocument);

    // Editing: a name shown as it is stored (with or without the blanks typed around it) stays
    // as it is, and nothing is sent to the store; a new one is trimmed; blanks are no name.
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *physics, "  Physics ", "about Physics").done);
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *lens, "Lens notes\t", "").done);
    EXPECT_EQ(QueryText(m_db, "select count(*) from SENT;"), "0");
    EXPECT_EQ(EditNodeOperation(m_model, m_realHome, *physics, "  ", "").message, text::kTypeCatalogName);
    EXPECT_EQ(EditNodeOperation(m_model, m_realHome, *lens, "  ", "").message, text::kChooseDocument);
    EXPECT_EQ(EditNodeOperation(m_model, m_realHome, *physics, "Physics/Optics", "").message, text::kNameNotUsable);
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *physics, " Natural science ", "all of it").done);
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *lens, " Lenses ", "").done);
    EXPECT_EQ(Rows(), "1:Natural science:0:1 2:Lenses:1:2");
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Natural science/lens.pdf"));

    // An old store's catalog named with a '/' still loads, keeps its name and takes a comment.
    RunSql(m_db, "insert into FILE_NODE values(10,'2024/Taxes',0,'',0,'',1);");
    fs::create_directories(m_realHome + "/2024/Taxes");
    ASSERT_EQ(Reload(), 1);
    CatalogNode* taxes = m_model.NodeById(10);
    ASSERT_NE(taxes, nullptr);
    EXPECT_EQ(taxes->Path(), m_realHome + "/2024/Taxes");
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *taxes, "2024/Taxes", "paid").done);
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *taxes, " 2024/Taxes ", "paid").done);
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||COMMENT from FILE_NODE where FILE_ID=10;"), "2024/Taxes|paid");
    EXPECT_TRUE(fs::is_directory(m_realHome + "/2024/Taxes"));
    EXPECT_EQ(JournalKinds(), "");
}

TEST_F(OperationsTest, ACommentLeftAsShownKeepsItsStoredLineEnds) {
    // Written on Windows (CR LF) and by an old Mac tool (lone CR); a text box gives back LF.
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'one'||char(13,10)||'two',0,'',1),"
                 "(2,'Notes',1,'a'||char(13)||'b'||char(13),1,'notes.txt',2);"
                 "create table SENT(FILE_ID); create trigger sent after update on FILE_NODE"
                 " begin insert into SENT values(new.FILE_ID); end;");
    fs::create_directories(m_realHome + "/Physics");
    ASSERT_EQ(Reload(), 1);
    CatalogNode* physics = m_model.NodeById(1);
    CatalogNode* notes = m_model.NodeById(2);
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *physics, "Physics", "one\ntwo").done);
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *notes, "Notes", "a\nb\n").done);
    EXPECT_EQ(QueryText(m_db, "select count(*) from SENT;"), "0") << "nothing changed, nothing sent";

    // A new name alone: the comment keeps its bytes; a changed comment is taken as typed.
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *physics, "Science", "one\ntwo").done);
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||hex(COMMENT) from FILE_NODE where FILE_ID=1;"),
              "Science|6F6E650D0A74776F");
    EXPECT_EQ(physics->Details().comment, "one\r\ntwo");
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *notes, "Notes", "a\nc\n").done);
    EXPECT_EQ(QueryText(m_db, "select hex(COMMENT) from FILE_NODE where FILE_ID=2;"), "610A630A");
}

TEST_F(OperationsTest, AnEditNeverCutsTheTextsItDidNotChange) {
    // Texts longer than the old program's fields, written by another tool or an older version.
    std::string comment;
    while (comment.size() < 2000) {
        comment += "Notes on light \xE5\x85\x89 ";
    }
    const std::string documentName = std::string(597, 'd') + "\xE6\x96\x87"; // 600 bytes
    RunSql(m_db, "insert into FILE_NODE values(1,'Physics',0,'" + comment + "',0,'',1),"
                 "(2,'" + documentName + "',1,'short',1,'book.pdf',2);");
    MakeFile(m_realHome + "/Physics/book.pdf", "book");
    ASSERT_EQ(Reload(), 1);
    CatalogNode* physics = m_model.NodeById(1);
    CatalogNode* book = m_model.NodeById(2);
    const auto stored = [&](NodeId id, const char* column) {
        return QueryText(m_db, "select " + std::string(column) + " from FILE_NODE where FILE_ID=" +
                                   std::to_string(id) + ";");
    };

    // The window shows what the node holds and gives it back: a rename alone keeps the comment,
    // a new comment alone keeps the name, each byte for byte.
    ASSERT_TRUE(EditNodeOperation(m_model, m_realHome, *physics, "Science", physics->Details().comment).done);
    EXPECT_EQ(stored(1, "FILE_NAME"), "Science");
    EXPECT_EQ(stored(1, "COMMENT"), comment);
    EXPECT_EQ(physics->Details().comment, comment);
    ASSERT_TRUE(EditNodeOperation(m_model, m_realHome, *book, book->Details().fileName, "a new comment").done);
    EXPECT_EQ(stored(2, "FILE_NAME"), documentName);
    EXPECT_EQ(stored(2, "COMMENT"), "a new comment");

    // What the user types is kept whole too, and so is everything at the next start.
    const std::string longer = comment + comment;
    ASSERT_TRUE(EditNodeOperation(m_model, m_realHome, *book, book->Details().fileName, longer).done);
    EXPECT_EQ(stored(2, "COMMENT"), longer);
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(m_model.NodeById(1)->Details().comment, comment);
    EXPECT_EQ(m_model.NodeById(2)->Details().fileName, documentName);
    EXPECT_EQ(m_model.NodeById(2)->Details().comment, longer);
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Science/book.pdf"));
}

TEST_F(OperationsTest, ARenameNeverTakesOverAFolderNoCatalogUses) {
    CatalogNode* a = Catalog(nullptr, "A");
    CatalogNode* inside = Catalog(a, "Inside");
    fs::remove_all(m_realHome + "/A"); // gone outside the program
    // Photos the user keeps in the Home Directory, and a file.
    MakeFile(m_realHome + "/Z/photo.jpg", "photo");
    MakeFile(m_realHome + "/Y", "a file");
    const std::string rows = Rows();

    // Asked first: the answer is the user's, and without it nothing changes.
    const OpResult asked = EditNodeOperation(m_model, m_realHome, *a, "Z", "about Z");
    EXPECT_FALSE(asked.done);
    EXPECT_EQ(asked.message, text::kUseUntrackedFolder);
    EXPECT_EQ(a->Path(), m_realHome + "/A");
    EXPECT_EQ(a->Details().fileName, "A");
    EXPECT_EQ(inside->Path(), m_realHome + "/A/Inside");
    // A file by that name is never a catalog's folder.
    EXPECT_EQ(EditNodeOperation(m_model, m_realHome, *a, "Y", "").message, text::kNameTakenOnDisk);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Bytes(m_realHome + "/Z/photo.jpg"), "photo");
    EXPECT_EQ(Bytes(m_realHome + "/Y"), "a file");

    // Yes: the folder is the catalog's from now on, as it is.
    ASSERT_TRUE(EditNodeOperation(m_model, m_realHome, *a, "Z", "about Z", {}, true).done);
    EXPECT_EQ(a->Path(), m_realHome + "/Z");
    EXPECT_EQ(inside->Path(), m_realHome + "/Z/Inside");
    EXPECT_EQ(QueryText(m_db, "select FILE_NAME||'|'||COMMENT from FILE_NODE where FILE_ID=1;"), "Z|about Z");
    EXPECT_EQ(Bytes(m_realHome + "/Z/photo.jpg"), "photo");

    // An empty folder holds nothing to lose: taken without a question, as adding a catalog does;
    // and with its folder there, a rename moves it and asks nothing.
    CatalogNode* b = Catalog(nullptr, "B");
    fs::remove_all(m_realHome + "/B");
    fs::create_directories(m_realHome + "/Empty");
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *b, "Empty", "").done);
    EXPECT_EQ(b->Path(), m_realHome + "/Empty");
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *b, "Full", "").done);
    EXPECT_TRUE(fs::is_directory(m_realHome + "/Full"));
    EXPECT_EQ(JournalKinds(), "");
}

TEST_F(OperationsTest, AFailedAddLeavesNoFolderAndNoRow) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    fs::remove_all(m_realHome + "/Physics"); // gone outside the program
    {
        StoreLock lock(m_db);
        const OpResult result = AddCatalogOperation(m_model, m_realHome, {physics, "Optics", ""});
        EXPECT_EQ(result.message, text::kAddFailed);
        EXPECT_FALSE(fs::exists(m_realHome + "/Physics")) << "not even the parent's folder is made";
        MakeFile(m_dir.File("inbox/a.txt"), "a");
        EXPECT_EQ(AddDocumentOperation(m_model, m_realHome, Document(physics, m_dir.File("inbox/a.txt"), "A")).message,
                  text::kAddFailed);
        EXPECT_EQ(Bytes(m_dir.File("inbox/a.txt")), "a");
        EXPECT_FALSE(fs::exists(m_realHome + "/Physics"));
    }
    EXPECT_EQ(Rows(), "1:Physics:0:1");
    EXPECT_EQ(physics->FirstChild(), nullptr);

    // The row fails after the folder was made (a trigger refuses it): the folder goes again.
    RunSql(m_db, "create trigger refuse before insert on FILE_NODE begin select raise(abort,'no'); end;");
    EXPECT_EQ(AddCatalogOperation(m_model, m_realHome, {physics, "Optics", ""}).message, text::kAddFailed);
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics/Optics"));
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics")) << "the parent made on the way goes too";
    EXPECT_EQ(physics->FirstChild(), nullptr);
    MakeFile(m_dir.File("inbox/b.txt"), "b");
    EXPECT_EQ(
        AddDocumentOperation(m_model, m_realHome, Document(nullptr, m_dir.File("inbox/b.txt"), "B", true)).message,
        text::kAddFailed);
    EXPECT_EQ(Bytes(m_dir.File("inbox/b.txt")), "b") << "a moved file goes back where it came from";
    EXPECT_FALSE(fs::exists(m_realHome + "/b.txt"));
    EXPECT_EQ(JournalKinds(), "");
    EXPECT_EQ(Rows(), "1:Physics:0:1");
}

TEST_F(OperationsTest, MovingAFileTheKnowledgeBaseNeedsIsRefusedCopyingItIsNot) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    MakeFile(m_dir.File("inbox/book.pdf"), "book");
    CatalogNode* book = nullptr;
    ASSERT_TRUE(
        AddDocumentOperation(m_model, m_realHome, Document(physics, m_dir.File("inbox/book.pdf"), "Book"), {}, &book)
            .done);
    CatalogNode* maths = Catalog(nullptr, "Maths");
    MakeFile(m_realHome + "/mwdx_index.html", "page");
    MakeFile(m_realHome + "/mwdx_index.html_bak", "old page");
    MakeFile(m_realHome + "/js/dtree.js", "script");
    MakeFile(m_db + "-journal", "");
    fs::create_symlink(m_db, m_dir.File("inbox/link-to-db"));
    fs::create_hard_link(m_db, m_dir.File("inbox/mymwdx.db")); // the store under another name
    const ProgramFiles storeFiles{{}, m_db};

    const std::string ownFiles[] = {m_db,
                                    m_db + "-journal",
                                    m_dir.File("inbox/mymwdx.db"),
                                    m_realHome + "/mwdx_index.html",
                                    m_realHome + "/mwdx_index.html_bak",
                                    m_realHome + "/js/dtree.js",
                                    m_realHome + "/./Physics/../js/dtree.js",
                                    book->Path()};
    for (const std::string& source : ownFiles) {
        const NewDocument request = Document(maths, source, "Mine", true, storeFiles);
        const OpResult result = AddDocumentOperation(m_model, m_realHome, request);
        EXPECT_EQ(result.message, text::kSourceBelongsToStore) << source;
        EXPECT_TRUE(fs::exists(source)) << source;
    }
    EXPECT_EQ(maths->FirstChild(), nullptr);
    EXPECT_EQ(Bytes(book->Path()), "book");

    // Copying another node's file is fine, and so is moving a file of the Home Directory that no
    // node has, or a link to the store: the link goes, the store stays.
    EXPECT_TRUE(
        AddDocumentOperation(m_model, m_realHome, Document(maths, book->Path(), "Book copy", false, storeFiles)).done);
    MakeFile(m_realHome + "/loose.txt", "loose");
    EXPECT_TRUE(
        AddDocumentOperation(m_model, m_realHome, Document(maths, m_realHome + "/loose.txt", "Loose", true, storeFiles))
            .done);
    EXPECT_FALSE(fs::exists(m_realHome + "/loose.txt"));
    EXPECT_EQ(Bytes(m_realHome + "/Maths/loose.txt"), "loose");
    EXPECT_TRUE(AddDocumentOperation(m_model, m_realHome,
                                     Document(maths, m_dir.File("inbox/link-to-db"), "Link", true, storeFiles))
                    .done);
    EXPECT_FALSE(fs::exists(m_dir.File("inbox/link-to-db")));
    EXPECT_TRUE(fs::is_regular_file(m_realHome + "/Maths/link-to-db"));
    EXPECT_TRUE(fs::is_regular_file(m_db));
    EXPECT_EQ(QueryText(m_db, "select count(*) from FILE_NODE;"), "6");
}

TEST_F(OperationsTest, RenamingACatalogNeverCarriesAwayAnotherNodesFiles) {
    // An old store's top-level catalogs "a" and "a/b": a/b's files lie inside a's folder.
    CatalogNode* a = Catalog(nullptr, "a");
    RunSql(m_db, "insert into FILE_NODE values(10,'a/b',0,'',0,'',1),(11,'theirs',10,'',1,'theirs.txt',2);");
    MakeFile(m_realHome + "/a/b/theirs.txt", "theirs");
    ASSERT_EQ(Reload(), 1);
    a = m_model.NodeById(1);
    const OpResult refused = EditNodeOperation(m_model, m_realHome, *a, "z", "");
    EXPECT_EQ(refused.message, text::kFilesKept);
    EXPECT_EQ(Bytes(m_realHome + "/a/b/theirs.txt"), "theirs");
    EXPECT_EQ(a->Details().fileName, "a");

    // The comment alone may change; so may the name of a catalog nobody else lives in.
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *a, "a", "new comment").done);
    EXPECT_EQ(QueryText(m_db, "select COMMENT from FILE_NODE where FILE_ID=1;"), "new comment");
    CatalogNode* c = Catalog(nullptr, "c");
    CatalogNode* inside = Catalog(c, "inside");
    EXPECT_TRUE(EditNodeOperation(m_model, m_realHome, *c, "d", "").done);
    EXPECT_TRUE(fs::is_directory(m_realHome + "/d/inside"));
    EXPECT_EQ(inside->Path(), m_realHome + "/d/inside");

    // The row cannot be written: the folder takes its old name again.
    RunSql(m_db, "create trigger refuse before update on FILE_NODE begin select raise(abort,'no'); end;");
    EXPECT_EQ(EditNodeOperation(m_model, m_realHome, *c, "e", "").message, text::kChangeNotSaved);
    EXPECT_TRUE(fs::is_directory(m_realHome + "/d/inside"));
    EXPECT_FALSE(fs::exists(m_realHome + "/e"));
    EXPECT_EQ(c->Details().fileName, "d");
    EXPECT_EQ(JournalKinds(), "");
}

TEST_F(OperationsTest, DeletingWithFilesPutsThemAsideAndKeepsWhatOthersUse) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    MakeFile(m_dir.File("inbox/lens.txt"), "lens");
    ASSERT_TRUE(AddDocumentOperation(m_model, m_realHome, Document(optics, m_dir.File("inbox/lens.txt"), "Lens")).done);
    MakeFile(m_realHome + "/Physics/Optics/untracked.txt", "also goes with its folder");

    // The rows cannot be deleted: nothing changes, and nothing is left aside.
    RunSql(m_db, "create trigger refuse before delete on FILE_NODE begin select raise(abort,'no'); end;");
    EXPECT_EQ(DeleteNodeOperation(m_model, m_realHome, *optics, true).message, text::kChangeNotSaved);
    EXPECT_EQ(Bytes(m_realHome + "/Physics/Optics/lens.txt"), "lens");
    EXPECT_EQ(Entries(m_realHome + "/Physics"), std::vector<std::string>{"Optics"});
    EXPECT_EQ(physics->FirstChild(), optics);
    RunSql(m_db, "drop trigger refuse;");

    EXPECT_TRUE(DeleteNodeOperation(m_model, m_realHome, *optics, true).done);
    EXPECT_TRUE(fs::is_empty(m_realHome + "/Physics"));
    EXPECT_EQ(Rows(), "1:Physics:0:1");
    // The finished delete's entry goes with the next command's commit; a crash before that
    // leaves the next start nothing to do and nothing to say.
    EXPECT_EQ(JournalKinds(), "delete");
    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_TRUE(report.finished.empty() && report.undone.empty() && report.unresolved.empty());
    EXPECT_EQ(JournalKinds(), "");

    // Two nodes on one path (a damaged store): deleting one keeps the files the other needs.
    RunSql(m_db, "insert into FILE_NODE values(20,'Twin',0,'',0,'',1),(21,'Twin',0,'',0,'',1);");
    MakeFile(m_realHome + "/Twin/kept.txt", "kept");
    ASSERT_EQ(Reload(), 1);
    const OpResult kept = DeleteNodeOperation(m_model, m_realHome, *m_model.NodeById(20), true);
    EXPECT_TRUE(kept.done);
    EXPECT_EQ(kept.message, text::kFilesKept);
    EXPECT_EQ(Bytes(m_realHome + "/Twin/kept.txt"), "kept");
    EXPECT_EQ(Rows(), "1:Physics:0:1 21:Twin:0:1");
}

// Delete with files of a big catalog: the rows and nodes go first on the caller's thread, with the
// journal's word; the files then go through the step the window runs on a worker behind its
// progress window, which never needs the store or the tree; the journal's end comes after.
TEST_F(OperationsTest, DeletingWithFilesRemovesThemOnAWorkerAfterTheRowsAreGone) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    for (int i = 0; i < 40; ++i) {
        const std::string source = m_dir.File("inbox/lens" + std::to_string(i) + ".txt");
        MakeFile(source, "lens");
        ASSERT_TRUE(
            AddDocumentOperation(m_model, m_realHome, Document(i % 2 == 0 ? physics : optics, source, "L")).done);
    }
    MakeFile(m_realHome + "/Physics/untracked.txt", "also goes with its folder");

    std::vector<std::size_t> told;
    std::size_t expected = 0;
    std::string seenFromWorker;
    const FileRemovalStep onWorker = [&](const HomeTree& tree, const std::string& aside, std::size_t entries,
                                         std::string* error) {
        expected = entries;
        bool removed = false;
        std::thread worker([&] {
            // By now the rows are gone and the journal says the files are to follow.
            seenFromWorker = QueryText(m_db, "select count(*) from FILE_NODE;") + " rows, " +
                             QueryText(m_db, "select KIND||' '||STEP from MWDX_JOURNAL;");
            removed = RemoveDeletedFiles(
                tree, aside, entries, [&](std::size_t done, std::size_t total) { told.push_back(total - done); },
                error);
        });
        // The window's thread holds the store meanwhile: a worker that needed it would never end.
        const mwdx::StoreLock busy;
        worker.join();
        return removed;
    };
    const OpResult result = DeleteNodeOperation(m_model, m_realHome, *physics, true, {}, onWorker);
    EXPECT_TRUE(result.done);
    EXPECT_EQ(result.message, 0) << result.detail;
    EXPECT_EQ(seenFromWorker, "0 rows, delete 1");
    EXPECT_EQ(expected, 42u) << "the subtree's nodes";
    ASSERT_EQ(told.size(), 43u) << "every file and folder removed, the untracked file and the folder aside too";
    EXPECT_EQ(told.back(), 0u);
    EXPECT_TRUE(fs::is_empty(m_realHome));
    EXPECT_EQ(m_model.NodeCount(), 0u);
    EXPECT_EQ(ClearJournalEntriesLeftForLater(), kStatementOk);
    EXPECT_EQ(JournalKinds(), "");

    // A step that cannot remove everything: what is left comes back under its own name.
    CatalogNode* maths = Catalog(nullptr, "Maths");
    MakeFile(m_realHome + "/Maths/proof.txt", "proof");
    const OpResult kept = DeleteNodeOperation(m_model, m_realHome, *maths, true, {},
                                              [](const HomeTree&, const std::string&, std::size_t, std::string* error) {
                                                  *error = "the disk said no";
                                                  return false;
                                              });
    EXPECT_TRUE(kept.done);
    EXPECT_EQ(kept.message, text::kSomeFilesNotDeleted);
    EXPECT_EQ(Bytes(m_realHome + "/Maths/proof.txt"), "proof");
    EXPECT_EQ(Entries(m_realHome), std::vector<std::string>{"Maths"});
    EXPECT_EQ(JournalKinds(), "");
}

TEST_F(OperationsTest, AMovedCatalogTakesItsFilesRowsAndLevelsAlong) {
    CatalogNode* physics = Catalog(nullptr, "Physics");
    CatalogNode* optics = Catalog(physics, "Optics");
    CatalogNode* lenses = Catalog(optics, "Lenses");
    MakeFile(m_dir.File("inbox/lens.txt"), "lens");
    CatalogNode* lens = nullptr;
    ASSERT_TRUE(
        AddDocumentOperation(m_model, m_realHome, Document(lenses, m_dir.File("inbox/lens.txt"), "Lens"), {}, &lens)
            .done);
    CatalogNode* archive = Catalog(nullptr, "Archive");
    CatalogNode* old = Catalog(archive, "Old");

    // Two levels deeper, then up to the top level.
    ASSERT_TRUE(MoveNodeOperation(m_model, m_realHome, *optics, old).done);
    EXPECT_EQ(Bytes(m_realHome + "/Archive/Old/Optics/Lenses/lens.txt"), "lens");
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics/Optics"));
    EXPECT_EQ(lens->Path(), m_realHome + "/Archive/Old/Optics/Lenses/lens.txt");
    EXPECT_EQ(lens->PathLevel(), 5);
    EXPECT_EQ(Rows(), "1:Physics:0:1 2:Optics:6:3 3:Lenses:2:4 4:Lens:3:5 5:Archive:0:1 6:Old:5:2");
    ASSERT_TRUE(MoveNodeOperation(m_model, m_realHome, *lenses, nullptr).done);
    EXPECT_EQ(Rows(), "1:Physics:0:1 2:Optics:6:3 3:Lenses:0:1 4:Lens:3:2 5:Archive:0:1 6:Old:5:2");
    EXPECT_EQ(Outline(*m_model.RootNode()),
              (std::vector<std::string>{"Physics", "Lenses", "  Lens", "Archive", "  Old", "    Optics"}))
        << "a moved node takes its place by id among its new siblings";
    // Onto a document: into its catalog.
    ASSERT_TRUE(MoveNodeOperation(m_model, m_realHome, *old, m_model.NodeById(4)).done);
    EXPECT_TRUE(fs::is_directory(m_realHome + "/Lenses/Old/Optics"));
    EXPECT_EQ(JournalKinds(), "");
    const std::vector<std::string> session = Outline(*m_model.RootNode());
    EXPECT_EQ(session, (std::vector<std::string>{"Physics", "Lenses", "  Lens", "  Old", "    Optics", "Archive"}));

    // The next start sees the same tree (children whose parents have larger ids included), each
    // node where it was during the session.
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Outline(*m_model.RootNode()), session);
    EXPECT_EQ(m_model.NodeById(2)->Path(), m_realHome + "/Lenses/Old/Optics");
}

TEST_F(OperationsTest, AMoveThatCannotBeMadeChangesNothing) {
    CatalogNode* a = Catalog(nullptr, "a");
    CatalogNode* inner = Catalog(a, "inner");
    CatalogNode* b = Catalog(nullptr, "b");
    CatalogNode* taken = Catalog(b, "inner");
    MakeFile(m_dir.File("inbox/n.txt"), "a's");
    ASSERT_TRUE(AddDocumentOperation(m_model, m_realHome, Document(a, m_dir.File("inbox/n.txt"), "N")).done);
    MakeFile(m_dir.File("inbox/n.txt"), "b's");
    CatalogNode* bNote = nullptr;
    ASSERT_TRUE(
        AddDocumentOperation(m_model, m_realHome, Document(b, m_dir.File("inbox/n.txt"), "N"), {}, &bNote).done);
    const std::string rows = Rows();
    const auto listing = [&] {
        std::vector<std::string> all;
        for (const auto& entry : fs::recursive_directory_iterator(m_realHome)) {
            all.push_back(entry.path().string());
        }
        std::sort(all.begin(), all.end());
        return all;
    };
    const std::vector<std::string> before = listing();

    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *a, inner).message, text::kMoveIntoItself);
    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *a, a).message, text::kMoveIntoItself);
    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *inner, b).message, text::kCatalogNameTaken);
    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *bNote, a).message, text::kFileNameTaken);
    EXPECT_TRUE(MoveNodeOperation(m_model, m_realHome, *taken, b).done) << "staying where it is is no move";

    // The row cannot be written: the folder comes back.
    RunSql(m_db, "create trigger refuse before update on FILE_NODE begin select raise(abort,'no'); end;");
    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *inner, nullptr).message, text::kChangeNotSaved);
    RunSql(m_db, "drop trigger refuse;");
    // The disk refuses: a folder that cannot take anything new.
    if (RunProcess({"chattr", "+i", m_realHome + "/b"}).exitCode == 0) {
        EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *bNote, nullptr).message, text::kMoveFailed);
        RunProcess({"chattr", "-i", m_realHome + "/b"});
    }
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(inner->Parent(), a);
    EXPECT_EQ(JournalKinds(), "");

    // An old store's top-level "a/c" lives in a's folder: a cannot move without carrying it.
    RunSql(m_db, "insert into FILE_NODE values(20,'a/c',0,'',0,'',1);");
    fs::create_directories(m_realHome + "/a/c");
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(MoveNodeOperation(m_model, m_realHome, *m_model.NodeById(1), m_model.NodeById(3)).message,
              text::kFilesKept);
    EXPECT_TRUE(fs::is_directory(m_realHome + "/a/c"));
}

TEST_F(OperationsTest, WithoutAHomeDirectoryNothingIsAddedAnywhere) {
    MakeFile(m_dir.File("inbox/a.txt"), "a");
    EXPECT_EQ(AddDocumentOperation(m_model, "", Document(nullptr, m_dir.File("inbox/a.txt"), "A")).message,
              text::kTransferFailed);
    EXPECT_EQ(AddCatalogOperation(m_model, "", {nullptr, "Physics", ""}).message, text::kAddFailed);
    EXPECT_EQ(Rows(), "");
    EXPECT_EQ(Bytes(m_dir.File("inbox/a.txt")), "a");
}

} // namespace
} // namespace mwdx::test
