#include "platform/file_transfer.h"
#include "support/process.h"
#include "support/test_support.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using mwdx::CopyFileNoReplace;
using mwdx::MoveFileNoReplace;
using mwdx::test::Bytes;
using mwdx::test::Entries;
using mwdx::test::TempDir;
using Names = std::vector<std::string>;

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(FileTransferTest, WithinOneFileSystemNothingIsEverReplaced) {
    TempDir dir;
    const fs::path docs = dir.Path() / "docs";
    fs::create_directory(docs);
    const fs::path chosen = dir.Path() / "chosen.txt";
    WriteFile(chosen, "the document");
    ::chmod(chosen.c_str(), 0666);
    const mode_t previousMask = ::umask(027);
    std::string error;
    const bool copied = CopyFileNoReplace(chosen.string(), (docs / "copy.txt").string(), &error);
    ::umask(previousMask);
    ASSERT_TRUE(copied) << error;
    EXPECT_EQ(Bytes(docs / "copy.txt"), "the document");
    EXPECT_EQ(ModeOf(docs / "copy.txt"), 0640u) << "the source's bits less the umask, as cp gives them";
    EXPECT_EQ(Bytes(chosen), "the document");

    WriteFile(docs / "copy.txt", "an older file");
    errno = 0;
    EXPECT_FALSE(CopyFileNoReplace(chosen.string(), (docs / "copy.txt").string(), &error));
    EXPECT_EQ(errno, EEXIST) << error;
    errno = 0;
    EXPECT_FALSE(MoveFileNoReplace(chosen.string(), (docs / "copy.txt").string(), &error));
    EXPECT_EQ(errno, EEXIST) << error;
    EXPECT_EQ(Bytes(docs / "copy.txt"), "an older file");
    EXPECT_EQ(Bytes(chosen), "the document");

    // A missing folder, or a folder as the source: refused, with a reason, nothing touched.
    for (auto transfer : {&CopyFileNoReplace, &MoveFileNoReplace}) {
        error.clear();
        EXPECT_FALSE(transfer(chosen.string(), (dir.Path() / "gone" / "x.txt").string(), &error));
        EXPECT_TRUE(mwdx::test::Mentions(error, "gone")) << error;
        EXPECT_FALSE(transfer(docs.string(), (dir.Path() / "folder copy").string(), &error));
        EXPECT_TRUE(mwdx::test::Mentions(error, "is not a file")) << error;
    }
    EXPECT_TRUE(fs::is_directory(docs));
    EXPECT_EQ(Entries(dir.Path()), (Names{"chosen.txt", "docs"}));

    ASSERT_TRUE(MoveFileNoReplace(chosen.string(), (docs / "moved.txt").string(), &error)) << error;
    EXPECT_FALSE(fs::exists(chosen));
    EXPECT_EQ(Bytes(docs / "moved.txt"), "the document");
    EXPECT_EQ(Entries(docs), (Names{"copy.txt", "moved.txt"}));
}

// While it lives, this thread sees a private mount namespace with a 1 MiB tmpfs at `point`.
class SmallFileSystem final {
public:
    explicit SmallFileSystem(const fs::path& point) : m_point(point) {
        fs::create_directory(point);
        m_home = ::open("/proc/self/ns/mnt", O_RDONLY | O_CLOEXEC);
        if (::geteuid() != 0 || m_home < 0 || ::unshare(CLONE_NEWNS) != 0) {
            m_why = "needs root and a new mount namespace";
            return;
        }
        m_private = true;
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1M") != 0) {
            m_why = "cannot mount a tmpfs";
        }
    }
    ~SmallFileSystem() {
        if (m_private) {
            Leave();
        }
        if (m_home >= 0) {
            ::close(m_home);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    const std::string& WhyNot() const { return m_why; }
    // `folder` seen read-only at `view`, a mount of its own.
    bool ReadOnlyView(const fs::path& folder, const fs::path& view) {
        fs::create_directory(view);
        if (::mount(folder.c_str(), view.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            return false;
        }
        m_mounts.push_back(view);
        return ::mount(nullptr, view.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }

private:
    void Leave() {
        for (auto it = m_mounts.rbegin(); it != m_mounts.rend(); ++it) {
            ::umount2(it->c_str(), MNT_DETACH);
        }
        ::umount2(m_point.c_str(), MNT_DETACH);
        ::setns(m_home, CLONE_NEWNS);
    }

    fs::path m_point;
    std::vector<fs::path> m_mounts;
    int m_home = -1;
    bool m_private = false;
    std::string m_why;
};

TEST(FileTransferTest, AcrossFileSystemsTheFileArrivesWholeOrNotAtAll) {
    TempDir dir;
    const fs::path small = dir.Path() / "small";
    SmallFileSystem mounted(small);
    if (!mounted.WhyNot().empty()) {
        GTEST_SKIP() << mounted.WhyNot();
    }
    const fs::path note = dir.Path() / "note.txt";
    WriteFile(note, "a short note");
    std::string error;
    ASSERT_TRUE(MoveFileNoReplace(note.string(), (small / "note.txt").string(), &error)) << error;
    EXPECT_FALSE(fs::exists(note));
    EXPECT_EQ(Bytes(small / "note.txt"), "a short note");

    // Twice the room there is: the file system fills up part-way.
    const fs::path big = dir.Path() / "big.bin";
    const std::string content(2 << 20, 'x');
    WriteFile(big, content);
    errno = 0;
    EXPECT_FALSE(CopyFileNoReplace(big.string(), (small / "big.bin").string(), &error));
    EXPECT_EQ(errno, ENOSPC) << error;
    EXPECT_FALSE(MoveFileNoReplace(big.string(), (small / "big.bin").string(), &error));
    EXPECT_EQ(Bytes(big), content);
    EXPECT_EQ(Entries(small), (Names{"note.txt"})) << "not even a hidden temporary file";

    // The copy arrives but the source cannot be removed: the copy goes again.
    const fs::path letter = dir.Path() / "source" / "letter.txt";
    fs::create_directory(letter.parent_path());
    WriteFile(letter, "dear reader");
    ASSERT_TRUE(mounted.ReadOnlyView(letter.parent_path(), dir.Path() / "read-only"));
    EXPECT_FALSE(
        MoveFileNoReplace((dir.Path() / "read-only" / "letter.txt").string(), (small / "letter.txt").string(), &error));
    EXPECT_TRUE(mwdx::test::Mentions(error, "cannot remove")) << error;
    EXPECT_EQ(Bytes(letter), "dear reader");
    EXPECT_EQ(Entries(small), (Names{"note.txt"}));
}

} // namespace
