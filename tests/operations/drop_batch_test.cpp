// Files and folders dropped onto the tree, as a batch run on a worker: each file a document named
// after it, each folder an import, in the order dropped, with the bytes told as they go, every
// failure listed with its reason, and Cancel stopping after the file under way.

#include "catalog/loader.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/drop_batch.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "support/catalog_fixture.h"
#include "support/process.h"
#include "support/test_support.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

namespace mwdx::test {
namespace {

class DropBatchTest : public CatalogFixture {
protected:
    void SetUp() override {
        CatalogFixture::SetUp();
        MakeFile(m_realHome + "/js/dtree.js");
        SetHome(m_realHome);
        ASSERT_EQ(Reload(), 1);
        ASSERT_TRUE(AddCatalogOperation(m_model, m_realHome, {nullptr, "Physics", ""}, &m_physics).done);
        MakeFile(m_inbox + "/notes.txt", std::string(10, 'n'));
        NewDocument notes;
        notes.parent = m_physics;
        notes.source = m_inbox + "/notes.txt";
        notes.name = "Notes";
        ASSERT_TRUE(AddDocumentOperation(m_model, m_realHome, notes, {}, &m_notes).done);
        MakeFile(m_inbox + "/a.txt", std::string(3000, 'a'));
        MakeFile(m_inbox + "/Photos/one.jpg", std::string(500, '1'));
        MakeFile(m_inbox + "/Photos/Summer/two.jpg", std::string(700, '2'));
        fs::create_symlink("/etc/hostname", m_inbox + "/Photos/link.jpg");
    }

    std::string m_realHome = m_dir.File("Knowledge");
    std::string m_inbox = m_dir.File("inbox");
    CatalogNode* m_physics = nullptr;
    CatalogNode* m_notes = nullptr;
};

TEST_F(DropBatchTest, EachFileBecomesADocumentEachFolderAnImportAndWhatFailedIsListed) {
    const std::vector<DroppedEntry> entries =
        LookAtDropped({m_inbox + "/a.txt", m_inbox + "/notes.txt", m_inbox + "/Photos", m_inbox + "/gone.txt"});
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_FALSE(entries[0].folder);
    EXPECT_EQ(entries[0].bytes, 3000u);
    EXPECT_TRUE(entries[2].folder);
    EXPECT_EQ(entries[2].bytes, 1200u) << "the files below it, the link not followed";
    EXPECT_EQ(entries[3].bytes, 0u);
    EXPECT_EQ(DroppedBytes(entries), 4210u);

    // Dropped onto a document: into its catalog; onto the empty space: the top level.
    EXPECT_EQ(DropTarget(m_notes), m_physics);
    EXPECT_EQ(DropTarget(m_physics), m_physics);
    EXPECT_EQ(DropTarget(nullptr), nullptr);

    std::vector<std::string> told;
    std::uint64_t lastBytes = 0;
    DropControl control;
    control.started = [&](std::size_t index, const std::string& name) {
        told.push_back("start " + std::to_string(index) + " " + name);
        lastBytes = 0;
    };
    control.bytes = [&](std::uint64_t done) {
        EXPECT_GE(done, lastBytes);
        lastBytes = done;
    };
    control.ended = [&](std::size_t index) {
        told.push_back("end " + std::to_string(index) + " at " + std::to_string(lastBytes));
    };
    DropResult result;
    std::thread worker(
        [&] { result = DropOperation(m_model, m_realHome, DropTarget(m_notes), entries, false, {}, control); });
    worker.join();

    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.added, 2u);
    EXPECT_EQ(told, (std::vector<std::string>{"start 0 a.txt", "end 0 at 3000", "start 1 notes.txt", "end 1 at 0",
                                              "start 2 Photos", "end 2 at 1200", "start 3 gone.txt", "end 3 at 0"}));
    EXPECT_EQ(result.failures, (std::vector<DropFailure>{{m_inbox + "/notes.txt", text::kFileNameTaken},
                                                         {m_inbox + "/Photos/link.jpg", text::kSkippedNotPlain},
                                                         {m_inbox + "/gone.txt", text::kTransferFailed}}));
    EXPECT_EQ(Bytes(m_realHome + "/Physics/a.txt"), std::string(3000, 'a'));
    EXPECT_EQ(Bytes(m_realHome + "/Physics/Photos/Summer/two.jpg"), std::string(700, '2'));
    EXPECT_TRUE(fs::exists(m_inbox + "/a.txt")) << "copied, not moved";
    m_model.Clear();
    ASSERT_EQ(LoadCatalog(m_model), 1);
    EXPECT_EQ(Outline(*m_model.RootNode()), (std::vector<std::string>{"Physics", "  Notes", "  a.txt", "  Photos",
                                                                      "    one.jpg", "    Summer", "      two.jpg"}));
}

TEST_F(DropBatchTest, CancelStopsAfterTheFileUnderWayAndKeepsWhatIsDone) {
    MakeFile(m_inbox + "/b.txt", "b");
    const std::vector<DroppedEntry> entries = LookAtDropped({m_inbox + "/a.txt", m_inbox + "/b.txt"});
    std::atomic<bool> cancel{false};
    DropControl control;
    control.cancel = &cancel;
    // The user presses Cancel while the first file is under way.
    control.transfer = [&](const HomeTree& tree, const std::string& source, const std::string& destination, bool move,
                           std::string* error) {
        cancel = true;
        return move ? tree.MoveFileNoReplace(source, destination, error)
                    : tree.CopyFileNoReplace(source, destination, error);
    };
    const DropResult result = DropOperation(m_model, m_realHome, nullptr, entries, true, {}, control);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.added, 1u);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(Bytes(m_realHome + "/a.txt"), std::string(3000, 'a')) << "the file under way is finished";
    EXPECT_FALSE(fs::exists(m_inbox + "/a.txt")) << "moved in";
    EXPECT_FALSE(fs::exists(m_realHome + "/b.txt"));
    EXPECT_TRUE(fs::exists(m_inbox + "/b.txt"));

    // Inside a dropped folder the import stops after its entry under way and keeps what it did.
    cancel = false;
    std::size_t importSteps = 0;
    DropControl inside;
    inside.cancel = &cancel;
    inside.bytes = [&](std::uint64_t) { cancel = ++importSteps >= 1; };
    const DropResult folder = DropOperation(
        m_model, m_realHome, m_physics, LookAtDropped({m_inbox + "/Photos", m_inbox + "/b.txt"}), false, {}, inside);
    EXPECT_TRUE(folder.cancelled);
    EXPECT_FALSE(fs::exists(m_realHome + "/Physics/b.txt")) << "nothing after the folder";
}

} // namespace
} // namespace mwdx::test
