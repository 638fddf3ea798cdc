// Importing existing folders: in place inside the Home Directory, copied or moved in from
// elsewhere, with what cannot be imported listed and left where it is.

#include "catalog/loader.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/check.h"
#include "operations/import_folder.h"
#include "operations/recovery.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

// What an import skipped, as "path: reason id" lines in path order.
std::vector<std::string> Listed(const std::vector<SkippedEntry>& skipped) {
    std::vector<std::string> lines;
    for (const SkippedEntry& entry : skipped) {
        lines.push_back(entry.path + ": " + std::to_string(entry.reason));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class ImportTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        fs::create_directories(m_realHome + "/js");
        std::ofstream(m_realHome + "/js/dtree.js");
        std::ofstream(m_realHome + "/js/dtree.css");
        SetHome(m_realHome);
        ASSERT_EQ(Reload(), 1);
    }

    // The tree as "name" lines, and whether the check finds anything but `allowed` untracked.
    std::vector<std::string> Tree() {
        return m_model.RootNode() ? Outline(*m_model.RootNode()) : std::vector<std::string>{};
    }
    std::vector<std::string> Untracked() {
        std::vector<std::string> paths;
        ClearJournalEntriesLeftForLater(); // as the program does when it stops
        CatalogModel fresh;
        LoadReport load;
        LoadCatalog(fresh, &load);
        for (const Finding& f : CheckKnowledgeBase(fresh, load, m_realHome, {}).findings) {
            EXPECT_EQ(f.kind, FindingKind::kUntracked) << f.path << ": " << f.detail;
            paths.push_back(f.path.substr(m_realHome.size() + 1));
        }
        return paths;
    }

    // A source tree: a folder with a sub-folder, files, a name that cannot be used and a link.
    void MakeSource(const std::string& root) {
        MakeFile(root + "/Trip/notes.txt", "notes");
        MakeFile(root + "/Trip/Photos/p1.jpg", "p1");
        MakeFile(root + "/Trip/Photos/p2.jpg", "p2");
        MakeFile(root + "/Trip/bad\x01name.txt", "bad");
        fs::create_symlink("/etc/hostname", root + "/Trip/link");
    }

    std::string m_realHome = m_dir.File("Knowledge");
};

TEST_F(ImportTest, AFolderInTheHomeDirectoryIsTakenWhereItIs) {
    AddCatalogOperation(m_model, m_realHome, {nullptr, "Travel", ""});
    MakeSource(m_realHome + "/Travel");
    MakeFile(m_realHome + "/Travel/loose.txt", "loose");
    MakeFile(m_realHome + "/mwdx_index.html", "page");

    // The catalog itself: what in it no node owns comes in, deeper ones too.
    const ImportResult result = ImportOperation(m_model, m_realHome, nullptr, m_realHome + "/Travel", false);
    ASSERT_TRUE(result.result.done) << result.result.detail;
    EXPECT_EQ(result.catalogs, 2u);
    EXPECT_EQ(result.documents, 4u);
    EXPECT_EQ(result.skipped.size(), 2u);
    EXPECT_EQ(Tree(), (std::vector<std::string>{"Travel", "  loose.txt", "  Trip", "    notes.txt", "    Photos",
                                                "      p1.jpg", "      p2.jpg"}));
    EXPECT_EQ(Bytes(m_realHome + "/Travel/Trip/Photos/p1.jpg"), "p1") << "nothing moved";
    EXPECT_EQ(Untracked(), (std::vector<std::string>{"Travel/Trip/bad\x01name.txt", "Travel/Trip/link"}));

    // Again: nothing new to import; the page and js at the top are not the user's.
    const ImportResult again = ImportOperation(m_model, m_realHome, nullptr, m_realHome, false);
    EXPECT_TRUE(again.result.done);
    EXPECT_EQ(again.catalogs + again.documents, 0u);
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Tree().size(), 7u) << "the next start shows the same";

    // A folder that holds the Home Directory is never taken into it.
    EXPECT_EQ(ImportOperation(m_model, m_realHome, nullptr, m_dir.Path().string(), false).result.message,
              text::kAddFailed);
    EXPECT_EQ(Tree().size(), 7u);
}

TEST_F(ImportTest, AFolderFromElsewhereIsCopiedOrMovedInWhole) {
    const std::string outside = m_dir.File("outside");
    MakeSource(outside);
    CatalogNode* travel = nullptr;
    AddCatalogOperation(m_model, m_realHome, {nullptr, "Travel", ""}, &travel);

    const ImportResult copied = ImportOperation(m_model, m_realHome, travel, outside + "/Trip", false);
    ASSERT_TRUE(copied.result.done) << copied.result.detail;
    EXPECT_EQ(copied.documents, 3u);
    EXPECT_EQ(Bytes(m_realHome + "/Travel/Trip/Photos/p2.jpg"), "p2");
    EXPECT_EQ(Bytes(outside + "/Trip/Photos/p2.jpg"), "p2") << "a copy leaves the original";
    EXPECT_FALSE(fs::exists(m_realHome + "/Travel/Trip/link")) << "links are not followed in";
    EXPECT_TRUE(Untracked().empty());

    // The same name again: refused whole.
    const ImportResult taken = ImportOperation(m_model, m_realHome, travel, outside + "/Trip", false);
    EXPECT_EQ(taken.result.message, text::kNameTakenOnDisk);

    // Moved in at the top: the originals go once their copies are there; what was skipped stays.
    const ImportResult moved = ImportOperation(m_model, m_realHome, nullptr, outside + "/Trip", true);
    ASSERT_TRUE(moved.result.done) << moved.result.detail;
    EXPECT_EQ(Bytes(m_realHome + "/Trip/notes.txt"), "notes");
    EXPECT_FALSE(fs::exists(outside + "/Trip/notes.txt"));
    EXPECT_FALSE(fs::exists(outside + "/Trip/Photos"));
    EXPECT_TRUE(fs::exists(outside + "/Trip/bad\x01name.txt"));
    EXPECT_TRUE(fs::is_symlink(outside + "/Trip/link"));
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Tree(), (std::vector<std::string>{"Travel", "  Trip", "    notes.txt", "    Photos", "      p1.jpg",
                                                "      p2.jpg", "Trip", "  notes.txt", "  Photos", "    p1.jpg",
                                                "    p2.jpg"}));
    for (const std::string& name : Entries(m_realHome)) {
        EXPECT_FALSE(IsTemporaryName(name)) << name;
    }
}

TEST_F(ImportTest, NamesThatAreNotUtf8AreRefusedInEveryRouteAndListedWithTheReason) {
    // The loader reads such a name back as U+FFFD: a row would name a file that is not there.
    const std::string bad = "bad\xff\xfe.txt";
    const std::string outside = m_dir.File("outside");
    MakeFile(outside + "/Trip/" + bad, "bad");
    MakeFile(outside + "/Trip/bad\xff/inside.txt", "inside");
    MakeFile(outside + "/Trip/good.txt", "good");
    MakeFile(outside + "/Odd\xfe/a.txt", "a");
    MakeFile(outside + "/" + bad, "loose");

    // Moved in: what can be kept comes in, the rest stays where it was and is listed with why.
    const ImportResult moved = ImportOperation(m_model, m_realHome, nullptr, outside + "/Trip", true);
    ASSERT_TRUE(moved.result.done) << moved.result.detail;
    const std::string notUtf8 = ": " + std::to_string(text::kSkippedNotUtf8);
    EXPECT_EQ(Listed(moved.skipped),
              (std::vector<std::string>{outside + "/Trip/bad\xff" + notUtf8, outside + "/Trip/" + bad + notUtf8}));
    EXPECT_EQ(Bytes(outside + "/Trip/" + bad), "bad");
    EXPECT_EQ(Bytes(outside + "/Trip/bad\xff/inside.txt"), "inside");
    // The folder or file itself: refused whole, copied or moved.
    EXPECT_EQ(ImportOperation(m_model, m_realHome, nullptr, outside + "/Odd\xfe", true).result.message,
              text::kNameNotUtf8);
    NewDocument add;
    add.source = outside + "/" + bad;
    add.name = "Bad";
    add.move = true;
    EXPECT_EQ(AddDocumentOperation(m_model, m_realHome, add).message, text::kNameNotUtf8);
    EXPECT_EQ(Bytes(outside + "/" + bad), "loose");

    // Already in the Home Directory (the check's import in place): the same.
    MakeFile(m_realHome + "/Trip/" + bad, "in place");
    MakeFile(m_realHome + "/Inbox\xff/b.txt", "b");
    const ImportResult inPlace = ImportOperation(m_model, m_realHome, nullptr, m_realHome, false);
    ASSERT_TRUE(inPlace.result.done) << inPlace.result.detail;
    EXPECT_EQ(Listed(inPlace.skipped),
              (std::vector<std::string>{m_realHome + "/Inbox\xff" + notUtf8, m_realHome + "/Trip/" + bad + notUtf8}));
    EXPECT_EQ(ImportOperation(m_model, m_realHome, nullptr, m_realHome + "/Inbox\xff/b.txt", false).result.message,
              text::kNameNotUtf8);

    // Every row names a file that is there, as the next start reads it.
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Tree(), (std::vector<std::string>{"Trip", "  good.txt"}));
    ForEachDescendant(*m_model.RootNode(),
                      [](const CatalogNode& node) { EXPECT_TRUE(fs::exists(node.Path())) << node.Path(); });
}

TEST_F(ImportTest, ACancelledImportKeepsWhatIsDone) {
    const std::string outside = m_dir.File("outside/Big");
    for (int i = 0; i < 20; ++i) {
        MakeFile(outside + "/f" + std::to_string(i) + ".txt", std::string(1000, 'a'));
    }
    std::atomic<bool> cancel{false};
    ImportControl control;
    std::size_t total = 0;
    control.progress = [&](std::size_t done, std::size_t all) {
        total = all;
        if (done == 6) {
            cancel = true;
        }
    };
    control.cancel = &cancel;
    const ImportResult result = ImportOperation(m_model, m_realHome, nullptr, outside, true, {}, control);
    ASSERT_TRUE(result.result.done) << result.result.detail;
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(total, 21u);
    EXPECT_EQ(result.catalogs + result.documents, 6u) << "the folder and the five files copied before";
    EXPECT_EQ(Entries(m_realHome + "/Big").size(), 5u);
    EXPECT_EQ(Entries(outside).size(), 15u) << "the rest stays where it was";
    EXPECT_TRUE(Untracked().empty());
}

TEST_F(ImportTest, ACrashedImportIsUndoneOrCompletedAtTheNextStart) {
    // Crashed while copying: only the hidden folder exists.
    JournalEntry copying;
    copying.kind = kJournalImportKind;
    copying.fromPath = m_dir.File("outside/Trip");
    copying.toPath = m_realHome + "/Trip";
    copying.asidePath = m_realHome + "/" + TemporaryName(TemporaryKind::kFolderCopy, 1);
    copying.pathLevel = 1;
    ASSERT_EQ(WriteJournalEntry(copying), kStatementOk);
    MakeFile(copying.asidePath + "/Trip/half.txt", "half");
    // Crashed after publishing, before the rows.
    JournalEntry published = copying;
    published.fromPath = m_dir.File("outside/Diary");
    published.toPath = m_realHome + "/Diary";
    published.asidePath = m_realHome + "/" + TemporaryName(TemporaryKind::kFolderCopy, 2);
    ASSERT_EQ(WriteJournalEntry(published), kStatementOk);
    MakeFile(m_realHome + "/Diary/2024/day.txt", "day");

    const RecoveryReport report = RecoverInterruptedCommands(m_realHome);
    EXPECT_EQ(report.undone, std::vector<std::string>{copying.fromPath});
    EXPECT_EQ(report.finished, std::vector<std::string>{published.toPath});
    ASSERT_EQ(Reload(), 1);
    EXPECT_EQ(Tree(), (std::vector<std::string>{"Diary", "  2024", "    day.txt"}));
    EXPECT_TRUE(Untracked().empty());
    EXPECT_TRUE(ReadJournal().empty());
}

} // namespace
} // namespace mwdx::test
