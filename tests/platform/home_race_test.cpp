// A hostile thread (any other process could do the same) swaps a catalog folder with a link to a
// folder outside the Home Directory, again and again, while the program deletes, renames, makes
// folders and copies documents in that catalog through the steps its commands use. Whatever
// moment a swap hits, nothing outside may be deleted, moved, changed or created.

#include "platform/home_fs.h"
#include "support/process.h"
#include "support/test_support.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

using mwdx::test::TempDir;

constexpr int kDocuments = 240;
// After every eighth document: a catalog deleted, a file renamed, a folder made, a document copied.
constexpr int kEvery = 8;
constexpr int kSideSteps = kDocuments / kEvery;

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Name(const char* stem, int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s-%03d", stem, i);
    return name;
}

// Every name below `folder` (relative) with its content ("<dir>" for a folder, "<link>" for a link).
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> seen;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = fs::relative(it->path(), folder).string();
        if (it->is_symlink()) {
            seen[name] = "<link>";
        } else if (it->is_directory()) {
            seen[name] = "<dir>";
        } else {
            seen[name] = mwdx::test::Bytes(it->path());
        }
    }
    return seen;
}

// One catalog folder with documents, sub-catalogs and files to rename; the outside folder holds
// the same names with other contents, so a step led through the link would find its target.
void Populate(const fs::path& folder, const std::string& whose) {
    fs::create_directories(folder);
    for (int i = 0; i < kDocuments; ++i) {
        WriteFile(folder / (Name("doc", i) + ".txt"), whose + " document " + std::to_string(i));
    }
    for (int i = 0; i < kSideSteps; ++i) {
        fs::create_directories(folder / Name("sub", i) / "deeper");
        WriteFile(folder / Name("sub", i) / "a.txt", whose + " a " + std::to_string(i));
        WriteFile(folder / Name("sub", i) / "deeper" / "b.txt", whose + " b " + std::to_string(i));
    }
    for (int i = 0; i < kSideSteps; ++i) {
        WriteFile(folder / Name("ren", i), whose + " renamed " + std::to_string(i));
    }
}

// Swaps `a` and `b` (a folder and a link) in a tight loop until stopped.
class Swapper final {
public:
    Swapper(const fs::path& a, const fs::path& b)
        : m_thread([this, a, b] {
              std::minstd_rand random(12345);
              while (!m_stop.load(std::memory_order_relaxed)) {
                  // A breath of up to 4 microseconds between swaps: back to back, the swaps starve
                  // the other side's path lookups; much slower, they seldom land between a check and
                  // a step. At this pace a check followed by a step by path loses dozens of
                  // outside files a run.
                  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(random() % 4);
                  while (std::chrono::steady_clock::now() < until) {
                  }
                  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) {
                      m_swaps.fetch_add(1, std::memory_order_relaxed);
                  } else {
                      m_failures.fetch_add(1, std::memory_order_relaxed);
                  }
              }
          }) {}
    ~Swapper() { Stop(); }

    // Returns once at least one more swap has happened, so every step below meets a live race
    // even on one processor.
    void WaitForSwap() const {
        const long before = m_swaps.load();
        while (m_swaps.load() == before && m_failures.load() == 0) {
            std::this_thread::yield();
        }
    }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    long Swaps() const { return m_swaps.load(); }
    long Failures() const { return m_failures.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_swaps{0};
    std::atomic<long> m_failures{0};
    std::thread m_thread;
};

// How the raced steps of one kind ended.
struct Tally {
    const char* what;
    int done = 0;
    int refusedAtLink = 0; // the step met the link and stopped (ELOOP)
    int failedOtherwise = 0;

    // Runs the step and counts how it ended.
    template <typename Step> bool Count(Step&& step) {
        const bool succeeded = step();
        ++(succeeded ? done : errno == ELOOP ? refusedAtLink : failedOtherwise);
        return succeeded;
    }
    void Print() const {
        std::printf("raced %s: %d (done %d, stopped at the link %d, failed otherwise %d)\n", what,
                    done + refusedAtLink + failedOtherwise, done, refusedAtLink, failedOtherwise);
    }
};

TEST(HomeRaceTest, ALinkSwappedInDuringDeletesRenamesCopiesAndNewFoldersNeverLeadsOutside) {
    TempDir dir;
    const fs::path home = dir.Path() / "home";
    const fs::path outside = dir.Path() / "outside";
    const fs::path catalog = home / "Catalog";
    const fs::path link = home / "swap";
    const fs::path chosen = dir.Path() / "chosen.txt"; // a document the user adds by copying
    Populate(catalog, "inside");
    Populate(outside, "outside");
    fs::create_directory_symlink(outside, link);
    WriteFile(chosen, "added by copy");
    const auto outsideBefore = Snapshot(outside);
    const auto insideBefore = Snapshot(catalog);
    const std::string catalogPath = catalog.string();
    auto in = [&](const std::string& name) { return catalogPath + "/" + name; };

    // The steps as the delete, rename, add-catalog and add-document commands take them.
    const mwdx::HomeTree tree(home.string());
    Tally documents{"deletes of documents"};
    Tally catalogs{"deletes of catalogs"};
    Tally renames{"renames"};
    Tally folders{"new folders"};
    Tally copies{"document copies"};
    std::map<std::string, std::string> movedTo; // top name in the catalog -> its name now ("" when deleted)
    std::map<std::string, bool> added;          // a new name -> made
    {
        Swapper swapper(catalog, link);
        for (int i = 0; i < kDocuments; ++i) {
            swapper.WaitForSwap();
            const std::string name = Name("doc", i) + ".txt";
            if (documents.Count([&] { return tree.DeletePath(in(name)); })) {
                movedTo[name] = "";
            }
            if (i % kEvery != 0) {
                continue;
            }
            const int j = i / kEvery;
            swapper.WaitForSwap();
            if (catalogs.Count([&] { return tree.DeletePath(in(Name("sub", j))); })) {
                movedTo[Name("sub", j)] = "";
            }
            swapper.WaitForSwap();
            mwdx::MadeDirectories made;
            const std::string from = Name("ren", j);
            if (renames.Count([&] { return tree.RenameNoReplace(in(from), in(from + ".renamed"), &made); })) {
                movedTo[from] = from + ".renamed";
            }
            swapper.WaitForSwap();
            added[Name("new", j)] = folders.Count([&] { return tree.MakeDirectoryPath(in(Name("new", j))); });
            swapper.WaitForSwap();
            added[Name("copy", j)] =
                copies.Count([&] { return tree.CopyFileNoReplace(chosen.string(), in(Name("copy", j))); });
        }
        swapper.Stop();
        std::printf("swaps: %ld (failed swaps: %ld)\n", swapper.Swaps(), swapper.Failures());
        EXPECT_EQ(swapper.Failures(), 0);
    }
    if (fs::is_symlink(catalog)) {
        ASSERT_EQ(::renameat2(AT_FDCWD, catalog.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE), 0);
    }

    // Outside: every name, every content as before; nothing deleted, moved, changed or new.
    const auto outsideAfter = Snapshot(outside);
    const auto insideAfter = Snapshot(catalog);
    std::multiset<std::string> contentsNow;
    for (const auto* snapshot : {&outsideAfter, &insideAfter}) {
        for (const auto& [name, content] : *snapshot) {
            contentsNow.insert(content);
        }
    }
    int deleted = 0; // gone, and its content nowhere
    int moved = 0;   // gone from its name, its content elsewhere
    int changed = 0;
    int appeared = 0;
    for (const auto& [name, content] : outsideBefore) {
        const auto it = outsideAfter.find(name);
        if (it == outsideAfter.end()) {
            ++(content != "<dir>" && contentsNow.count(content) > 0 ? moved : deleted);
        } else if (it->second != content) {
            ++changed;
        }
    }
    for (const auto& [name, content] : outsideAfter) {
        appeared += outsideBefore.count(name) == 0 ? 1 : 0;
    }
    for (const Tally* tally : {&documents, &catalogs, &renames, &folders, &copies}) {
        tally->Print();
        EXPECT_EQ(tally->failedOtherwise, 0) << tally->what;
    }
    std::printf("outside: %d names deleted, %d moved away, %d contents changed, %d names appeared\n", deleted, moved,
                changed, appeared);
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(appeared, 0);
    EXPECT_GT(documents.done, 0) << "the race never let a delete through: nothing was tested";
    EXPECT_GT(documents.refusedAtLink, 0) << "the link was never met: nothing was tested";

    // Inside: what a step reported done is done, what it stopped is still there, whole.
    for (const auto& [name, content] : insideBefore) {
        const std::string top = name.substr(0, name.find('/'));
        const auto moved = movedTo.find(top);
        if (moved == movedTo.end() || !moved->second.empty()) {
            const std::string now = moved == movedTo.end() ? name : moved->second + name.substr(top.size());
            EXPECT_TRUE(insideAfter.count(now) == 1 && insideAfter.at(now) == content) << name << " was lost";
        }
        if (moved != movedTo.end()) {
            EXPECT_EQ(insideAfter.count(name), 0u) << name << " is still there";
        }
    }
    for (const auto& [name, made] : added) {
        const auto it = insideAfter.find(name);
        EXPECT_EQ(it != insideAfter.end(), made) << name;
        if (made) {
            EXPECT_EQ(it->second, name.starts_with("new") ? "<dir>" : "added by copy") << name;
        }
    }
    int leftovers = 0;
    for (const auto& [name, content] : insideAfter) {
        leftovers += mwdx::IsTemporaryName(fs::path(name).filename().string()) ? 1 : 0;
    }
    std::printf("temporary names left in the catalog: %d\n", leftovers);
    EXPECT_EQ(leftovers, 0);
}

} // namespace
