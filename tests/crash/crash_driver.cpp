// The program's commands, run in a loop by a process that the kill loop kills at random moments,
// and the check of what the next start finds. Only the windows are missing: each command runs the
// same operation the window's handler calls, and the check starts as the window does.
//
//   marrowdex_crash_driver prepare PROGRAM_DIR HOME [KEPT_FILES]
//   marrowdex_crash_driver run PROGRAM_DIR KIND INBOX SEED     (until killed)
//   marrowdex_crash_driver check PROGRAM_DIR
//   marrowdex_crash_driver prepare-rollback PROGRAM_DIR HOME FILES BIG_MB
//   marrowdex_crash_driver hostile PROGRAM_DIR OUTSIDE SEED
//
// KIND: add-copy, add-move (documents from INBOX), import-copy, import-move (folders from INBOX),
// rename (catalogs), move (catalogs with their documents, under other catalogs), delete (catalogs
// with their documents and files), home-move (the whole knowledge base to another folder and
// back), locate (documents whose files went missing, brought back from INBOX), home-move-to (the
// knowledge base once to the folder INBOX, then the process ends), trash (catalogs with their
// documents and files deleted into the trash), restore (the prepared catalogs and documents deleted
// into the trash and restored from it, in turn), empty (catalogs deleted into the trash, then
// deleted for good from it one at a time or all at once), undo-move (the prepared catalogs and
// documents moved under other catalogs and the moves undone, now and then redone and undone
// again), undo-delete (the same, deleted into the trash and the deletes undone), multi-move (a few
// of the prepared catalogs and documents chosen together and moved in one command). check prints
// one line of counts and exits 1 when the store and the disk disagree, the trash included.
//
// prepare with KEPT_FILES gives each prepared catalog that many documents whose files are named
// keep-*: check counts those files wherever they are (in the tree or in the trash), so that a loop
// that only moves them between the two can tell that none was lost.
//
// prepare-rollback makes a knowledge base for the home-move-to kill loop: a catalog A of FILES
// documents of 1 KiB and a top-level document big.bin of BIG_MB megabytes, moved after A. Onto a
// file system with room for A but not for big.bin, the move fails on big.bin and puts A back.
//
// hostile plants one journal entry of the kind a store from elsewhere may hold, aimed at the folder
// OUTSIDE (made with a few files) or at the knowledge base's own catalogs, starts as the window
// does, and checks that the entry was refused and nothing carried out: every file outside and in
// the Home Directory as it was, nothing said to be completed or undone. The entry is then
// discarded as the check window does. Prints one line and exits 1 on any fault.

#include "catalog/loader.h"
#include "catalog/paths.h"
#include "operations/add_catalog.h"
#include "operations/add_document.h"
#include "operations/delete_node.h"
#include "operations/edit_node.h"
#include "operations/home_move.h"
#include "operations/import_folder.h"
#include "operations/move_node.h"
#include "operations/recovery.h"
#include "operations/repair.h"
#include "operations/steps.h"
#include "operations/trash.h"
#include "operations/undo.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/fresh_database.h"
#include "store/journal.h"
#include "store/settings.h"
#include "store/statements.h"
#include "store/store_session.h"
#include "store/trash_rows.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace mwdx;

namespace {

int Usage() {
    std::fprintf(
        stderr,
        "usage: marrowdex_crash_driver prepare PROGRAM_DIR HOME [KEPT_FILES] | run PROGRAM_DIR KIND INBOX SEED |"
        " check PROGRAM_DIR | prepare-rollback PROGRAM_DIR HOME FILES BIG_MB |"
        " hostile PROGRAM_DIR OUTSIDE SEED\n");
    return 2;
}

// Starts on the program folder as the window does: the lock, the settings, what a crash left, the
// tree.
bool Start(const std::string& program, CatalogModel& catalog, RecoveryReport* recovery, LoadReport* load) {
    const StoreStartResult started = StartStore(program + "/mymwdx.db");
    if (started.status != StoreStart::kReady && started.status != StoreStart::kCreated) {
        std::fprintf(stderr, "crash driver: cannot start: %s\n", started.detail.c_str());
        return false;
    }
    LoadSettings();
    const RecoveryReport report = RecoverInterruptedCommands(std::string(RootDirOf(SettingsCopy())));
    if (recovery != nullptr) {
        *recovery = report;
    }
    LoadSettings(); // a finished move of the Home Directory has changed it
    LoadCatalog(catalog, load);
    return true;
}

std::string Home(const CatalogModel& catalog) {
    return catalog.RootNode() != nullptr ? catalog.RootNode()->Path() : std::string(RootDirOf(SettingsCopy()));
}

std::vector<CatalogNode*> Catalogs(const CatalogModel& catalog) {
    std::vector<CatalogNode*> found;
    if (const CatalogNode* root = catalog.RootNode()) {
        ForEachDescendant(*root, [&](const CatalogNode& node) {
            if (node.IsCatalog()) {
                found.push_back(const_cast<CatalogNode*>(&node));
            }
        });
    }
    return found;
}

// Documents the locate loop made lost on purpose: their files were deleted behind the program's
// back, and finding them missing is no fault of a command.
constexpr std::string_view kLostPrefix = "Lost ";

bool IsLostOnPurpose(const CatalogNode& node) {
    return !node.IsCatalog() && node.Details().fileName.starts_with(kLostPrefix);
}

// A file of `bytes` bytes in the inbox, under a name not used before.
std::string MakeSource(const std::string& inbox, std::uint64_t number, std::size_t bytes) {
    const std::string path = inbox + "/doc-" + std::to_string(::getpid()) + "-" + std::to_string(number) + ".bin";
    std::ofstream out(path, std::ios::binary);
    const std::string block(1 << 16, static_cast<char>('a' + number % 26));
    for (std::size_t written = 0; written < bytes; written += block.size()) {
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), bytes - written)));
    }
    return path;
}

int Prepare(const std::string& program, const std::string& home, int keptFiles = 0) {
    fs::create_directories(program);
    fs::create_directories(home);
    std::string error;
    if (!CreateFreshDatabase(program + "/mymwdx.db", &error)) {
        std::fprintf(stderr, "crash driver: %s\n", error.c_str());
        return 1;
    }
    OpenStore(program + "/mymwdx.db");
    ExecStatement("update SYS_CONFIG set ROOT_DIR='" + EscapeSqlText(home) + "', FIRST_RUNNING=0;");
    CloseStore();
    CatalogModel catalog;
    if (!Start(program, catalog, nullptr, nullptr)) {
        return 1;
    }
    int kept = 0;
    for (const char* name : {"Physics", "Maths", "Recipes"}) {
        CatalogNode* top = nullptr;
        AddCatalogOperation(catalog, home, {nullptr, name, ""}, &top);
        CatalogNode* notes = nullptr;
        AddCatalogOperation(catalog, home, {top, std::string(name) + " notes", ""}, &notes);
        for (int i = 0; i < keptFiles; ++i, ++kept) {
            const std::string source = program + "/keep-" + std::to_string(kept) + ".bin";
            std::ofstream(source, std::ios::binary) << std::string(64 << 10, static_cast<char>('a' + kept % 26));
            if (!AddDocumentOperation(catalog, home, {i % 2 == 0 ? top : notes, source, "Kept", "", true, {}}).done) {
                std::fprintf(stderr, "crash driver: cannot add %s\n", source.c_str());
                return 1;
            }
        }
    }
    StopStore();
    return 0;
}

int PrepareRollback(const std::string& program, const std::string& home, int files, int bigMegabytes) {
    if (const int made = Prepare(program, home); made != 0) {
        return made;
    }
    const std::string a = home + "/A";
    fs::create_directories(a);
    const std::string kibibyte(1024, 'k');
    for (int i = 0; i < files; ++i) {
        std::ofstream(a + "/f" + std::to_string(i) + ".txt", std::ios::binary) << kibibyte;
    }
    std::ofstream big(home + "/big.bin", std::ios::binary);
    const std::string block(1 << 20, 'b');
    for (int i = 0; i < bigMegabytes; ++i) {
        big << block;
    }
    big.close();
    CatalogModel catalog;
    if (!Start(program, catalog, nullptr, nullptr)) {
        return 1;
    }
    const bool imported = ImportOperation(catalog, home, nullptr, a, false).result.done &&
                          ImportOperation(catalog, home, nullptr, home + "/big.bin", false).result.done;
    StopStore();
    if (!imported) {
        std::fprintf(stderr, "crash driver: cannot import into %s\n", home.c_str());
        return 1;
    }
    return 0;
}

[[noreturn]] void Run(const std::string& program, const std::string& kind, const std::string& inbox, unsigned seed) {
    CatalogModel catalog;
    if (!Start(program, catalog, nullptr, nullptr)) {
        std::exit(1);
    }
    std::string home = Home(catalog);
    std::mt19937 random(seed);
    const auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const ProgramFiles own = ProgramFilesIn(program);
    UndoHistory history;
    if (kind == "undo-delete") {
        // What a kill left in the trash comes back first: this history never knew it.
        for (const TrashEntry& entry : ReadTrash()) {
            if (RestoreFromTrashOperation(catalog, home, entry.id).message == text::kChooseRestoreCatalog) {
                RestoreFromTrashOperation(catalog, home, entry.id, catalog.EnsureRootNode(home));
            }
        }
    }
    for (std::uint64_t round = 0;; ++round) {
        std::vector<CatalogNode*> catalogs = Catalogs(catalog);
        if (kind == "add-copy" || kind == "add-move") {
            // Big enough that a kill often lands in the middle of the transfer.
            const std::string source = MakeSource(inbox, round, (4 + pick(12)) << 20);
            CatalogNode* parent = catalogs.empty() || pick(4) == 0 ? nullptr : catalogs[pick(catalogs.size())];
            AddDocumentOperation(catalog, home,
                                 {parent, source, "Doc " + std::to_string(round), "", kind == "add-move", own});
            std::error_code ignored;
            fs::remove(source, ignored); // a copied original is not needed again

        } else if (kind == "rename") {
            if (!catalogs.empty()) {
                CatalogNode* node = catalogs[pick(catalogs.size())];
                EditNodeOperation(catalog, home, *node, "r" + std::to_string(seed) + "-" + std::to_string(round),
                                  "renamed");
            }
        } else if (kind == "import-copy" || kind == "import-move") {
            // A folder of a few sub-folders and files, copied or moved in under a catalog.
            const std::string folder = inbox + "/Folder " + std::to_string(seed) + "-" + std::to_string(round);
            for (int sub = 0; sub < 3; ++sub) {
                fs::create_directories(folder + "/Sub " + std::to_string(sub));
                for (int f = 0; f < 4; ++f) {
                    fs::rename(MakeSource(inbox, round * 100 + static_cast<std::uint64_t>(sub * 10 + f), 512 << 10),
                               folder + "/Sub " + std::to_string(sub) + "/f" + std::to_string(f) + ".bin");
                }
            }
            CatalogNode* parent = catalogs.empty() || pick(3) == 0 ? nullptr : catalogs[pick(catalogs.size())];
            ImportOperation(catalog, home, parent, folder, kind == "import-move");
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        } else if (kind == "home-move") {
            // The whole knowledge base back and forth between its folder and one in INBOX (another
            // file system for the -xfs loop), with a few megabytes to carry each way.
            if (round == 0 && catalogs.size() < 8) {
                for (int d = 0; d < 4; ++d) {
                    const std::string source = MakeSource(inbox, 1000 + static_cast<std::uint64_t>(d), 2 << 20);
                    AddDocumentOperation(
                        catalog, home,
                        {catalogs.empty() ? nullptr : catalogs[pick(catalogs.size())], source, "Big", "", true, own});
                }
            }
            const std::string homeA = LexicallyNormal(program + "/../home");
            const std::string homeB = inbox + "-home"; // beside INBOX, which the loop empties
            const std::string target = LexicallyNormal(home) == homeA ? homeB : homeA;
            if (MoveHomeOperation(catalog, home, target).done) {
                home = target;
            }
        } else if (kind == "home-move-to") {
            MoveHomeOperation(catalog, home, inbox);
            StopStore();
            std::exit(0);
        } else if (kind == "locate") {
            // The documents a kill left missing are located first; without any, one is made lost.
            std::vector<CatalogNode*> lost;
            ForEachDescendant(*catalog.EnsureRootNode(home), [&](const CatalogNode& node) {
                if (IsLostOnPurpose(node) && !fs::exists(node.Path())) {
                    lost.push_back(const_cast<CatalogNode*>(&node));
                }
            });
            if (lost.empty()) {
                CatalogNode* added = nullptr;
                const std::string source = MakeSource(inbox, round * 2, 64 << 10);
                CatalogNode* parent = catalogs.empty() || pick(4) == 0 ? nullptr : catalogs[pick(catalogs.size())];
                AddDocumentOperation(catalog, home,
                                     {parent, source, std::string(kLostPrefix) + std::to_string(round), "", true, own},
                                     {}, &added);
                if (added == nullptr) {
                    continue;
                }
                fs::remove(added->Path());
                lost.push_back(added);
            }
            // Big enough that a kill often lands in the middle of the transfer.
            const std::string source = MakeSource(inbox, round * 2 + 1, (4 + pick(12)) << 20);
            LocateMissing(catalog, home, *lost[pick(lost.size())], source, pick(2) == 0, {}, own);
            std::error_code ignored;
            fs::remove(source, ignored);
        } else if (kind == "move") {
            // A catalog with its documents under another catalog or to the top level.
            if (catalogs.size() > 1) {
                CatalogNode* node = catalogs[pick(catalogs.size())];
                CatalogNode* target = pick(5) == 0 ? nullptr : catalogs[pick(catalogs.size())];
                MoveNodeOperation(catalog, home, *node, target);
            }
            if (pick(3) == 0 && !catalogs.empty()) {
                const std::string source = MakeSource(inbox, round, 64 << 10);
                AddDocumentOperation(catalog, home, {catalogs[pick(catalogs.size())], source, "M", "", true, own});
            }
        } else if (kind == "delete") {
            // A catalog with a few documents and a sub-catalog, then deleted with its files.
            CatalogNode* top = nullptr;
            AddCatalogOperation(catalog, home,
                                {nullptr, "Doomed " + std::to_string(seed) + "-" + std::to_string(round), ""}, &top);
            if (top != nullptr) {
                CatalogNode* sub = nullptr;
                AddCatalogOperation(catalog, home, {top, "Sub", ""}, &sub);
                for (int d = 0; d < 3; ++d) {
                    const std::string source = MakeSource(inbox, round * 10 + static_cast<std::uint64_t>(d), 256 << 10);
                    AddDocumentOperation(catalog, home,
                                         {d == 0 || sub == nullptr ? top : sub, source, "D", "", true, own});
                }
                // The files go on a worker, as the window runs them behind its progress window.
                DeleteNodeOperation(
                    catalog, home, *top, true, own,
                    [](const HomeTree& tree, const std::string& aside, std::size_t entries, std::string* error) {
                        bool removed = false;
                        std::thread worker([&] { removed = RemoveDeletedFiles(tree, aside, entries, {}, error); });
                        worker.join();
                        return removed;
                    });
            }
        } else if (kind == "trash" || kind == "empty") {
            // A catalog with a few documents and a sub-catalog, deleted into the trash with its files
            // (now and then one document alone).
            CatalogNode* top = nullptr;
            AddCatalogOperation(catalog, home,
                                {nullptr, "Binned " + std::to_string(seed) + "-" + std::to_string(round), ""}, &top);
            if (top != nullptr) {
                CatalogNode* sub = nullptr;
                AddCatalogOperation(catalog, home, {top, "Sub", ""}, &sub);
                CatalogNode* last = nullptr;
                for (int d = 0; d < 3; ++d) {
                    const std::string source = MakeSource(inbox, round * 10 + static_cast<std::uint64_t>(d), 256 << 10);
                    AddDocumentOperation(catalog, home,
                                         {d == 0 || sub == nullptr ? top : sub, source, "D", "", true, own}, {}, &last);
                }
                if (last != nullptr && pick(4) == 0) {
                    DeleteToTrashOperation(catalog, home, *last, true, own);
                }
                DeleteToTrashOperation(catalog, home, *top, true, own);
            }
            if (kind == "empty") {
                // Deleted for good: one entry, or the whole trash now and then. The files go on a
                // worker, as the window runs them behind its progress window.
                const FileRemovalStep onWorker = [](const HomeTree& tree, const std::string& aside, std::size_t entries,
                                                    std::string* error) {
                    bool removed = false;
                    std::thread worker([&] { removed = RemoveDeletedFiles(tree, aside, entries, {}, error); });
                    worker.join();
                    return removed;
                };
                const std::vector<TrashEntry> trash = ReadTrash();
                if (pick(4) == 0) {
                    EmptyTrashOperation(home, onWorker);
                } else if (!trash.empty()) {
                    DeleteFromTrashOperation(home, trash[pick(trash.size())].id, onWorker);
                }
            }
        } else if (kind == "restore") {
            // The prepared catalogs and documents go into the trash and come back, in turn, so that
            // a kill lands in either; none of their files may ever be lost.
            std::vector<CatalogNode*> nodes;
            ForEachDescendant(*catalog.EnsureRootNode(home),
                              [&](const CatalogNode& node) { nodes.push_back(const_cast<CatalogNode*>(&node)); });
            if (!nodes.empty() && pick(3) != 0) {
                DeleteToTrashOperation(catalog, home, *nodes[pick(nodes.size())], true, own);
            }
            const std::vector<TrashEntry> trash = ReadTrash();
            if (!trash.empty()) {
                const std::int64_t id = trash[pick(trash.size())].id;
                if (RestoreFromTrashOperation(catalog, home, id).message == text::kChooseRestoreCatalog) {
                    RestoreFromTrashOperation(catalog, home, id, catalog.EnsureRootNode(home));
                }
            }
        } else if (kind == "multi-move") {
            // A few prepared nodes chosen together, some of them below others, moved in one command
            // under a catalog or to the top level. None of their files may ever be lost.
            std::vector<CatalogNode*> nodes;
            ForEachDescendant(*catalog.EnsureRootNode(home),
                              [&](const CatalogNode& node) { nodes.push_back(const_cast<CatalogNode*>(&node)); });
            if (nodes.size() < 2) {
                continue;
            }
            std::vector<CatalogNode*> chosen;
            for (std::size_t n = 2 + pick(5); n > 0; --n) {
                chosen.push_back(nodes[pick(nodes.size())]);
            }
            CatalogNode* target = catalogs.empty() || pick(4) == 0 ? nullptr : catalogs[pick(catalogs.size())];
            MoveNodesOperation(catalog, home, chosen, target, own);
        } else if (kind == "undo-move" || kind == "undo-delete") {
            // A prepared node moved or deleted, and that undone at once; now and then redone and
            // undone again, so that a kill lands in any of them.
            std::vector<CatalogNode*> nodes;
            ForEachDescendant(*catalog.EnsureRootNode(home),
                              [&](const CatalogNode& node) { nodes.push_back(const_cast<CatalogNode*>(&node)); });
            if (nodes.empty()) {
                continue;
            }
            CatalogNode* node = nodes[pick(nodes.size())];
            if (kind == "undo-move") {
                const NodeId from = node->Parent()->Parent() == nullptr ? 0 : node->Parent()->FileId();
                CatalogNode* target = catalogs.empty() || pick(4) == 0 ? nullptr : catalogs[pick(catalogs.size())];
                if (MoveNodeOperation(catalog, home, *node, target, own).done) {
                    history.Record(MoveStep(catalog, {{node->FileId(), from}}));
                }
            } else {
                std::int64_t entry = 0;
                if (DeleteToTrashOperation(catalog, home, *node, true, own, &entry).done) {
                    history.Record(DeleteStep(home, {entry}, true));
                }
            }
            history.Undo(catalog, home, own);
            if (pick(3) == 0 && history.Redo(catalog, home, own).done) {
                history.Undo(catalog, home, own);
            }
        } else {
            std::fprintf(stderr, "crash driver: unknown kind %s\n", kind.c_str());
            std::exit(2);
        }
    }
}

// The trash against its rows, read here on its own terms: every entry with files holds exactly
// its file or folder in its numbered folder, nothing else lies in the trash, and every row of the
// trash belongs to an entry. Counts the faults (each told on stderr), adds temporary names to
// *leftovers and keep-* files to *kept.
std::size_t TrashFaults(const std::string& home, std::size_t* leftovers, std::size_t* kept) {
    std::size_t faults = 0;
    const auto fault = [&faults](const std::string& what) {
        ++faults;
        std::fprintf(stderr, "trash: %s\n", what.c_str());
    };
    int status = 0;
    std::map<std::string, TrashEntry> expected;
    for (const TrashEntry& entry : ReadTrash(&status)) {
        if (entry.files) {
            expected.emplace(std::to_string(entry.id), entry);
        }
    }
    if (status != kStatementOk) {
        fault("its rows cannot be read");
    }
    const auto count = [](const char* sql) {
        Statement query(sql);
        return query.Next() ? query.Integer(0) : -1;
    };
    if (count("SELECT count(*) FROM sqlite_master WHERE name = 'MWDX_TRASH_NODE';") == 1 &&
        count("SELECT count(*) FROM MWDX_TRASH_NODE WHERE TRASH_ID NOT IN (SELECT TRASH_ID FROM MWDX_TRASH);") != 0) {
        fault("rows of no entry");
    }
    const std::string trash = home + "/.marrowdex-trash";
    std::error_code ec;
    std::set<std::string> seen;
    for (const auto& folder : fs::directory_iterator(trash, ec)) {
        const std::string name = folder.path().filename().string();
        if (IsTemporaryName(name)) {
            ++*leftovers;
            std::fprintf(stderr, "leftover: %s\n", folder.path().c_str());
            continue;
        }
        const auto entry = expected.find(name);
        if (entry == expected.end()) {
            fault("no entry owns " + folder.path().string());
            continue;
        }
        seen.insert(name);
        std::vector<std::string> inside;
        for (const auto& item : fs::directory_iterator(folder.path(), ec)) {
            inside.push_back(item.path().filename().string());
        }
        const std::string onDisk = entry->second.NameOnDisk();
        if (inside != std::vector<std::string>{onDisk}) {
            fault("entry " + name + " does not hold exactly " + onDisk);
        }
        const fs::file_status item = fs::symlink_status(folder.path() / onDisk, ec);
        if ((entry->second.fileType == kCatalogType) != fs::is_directory(item)) {
            fault("entry " + name + " holds the wrong kind of entry");
        }
        for (auto it = fs::recursive_directory_iterator(folder.path(), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().filename().string().starts_with("keep-") && it->is_regular_file()) {
                ++*kept;
            }
        }
    }
    for (const auto& [name, entry] : expected) {
        if (!seen.contains(name)) {
            fault("the files of entry " + name + " are missing");
        }
    }
    return faults;
}

int Check(const std::string& program) {
    CatalogModel catalog;
    RecoveryReport recovery;
    LoadReport load;
    if (!Start(program, catalog, &recovery, &load)) {
        return 1;
    }
    const std::string home = Home(catalog);
    std::set<std::string> nodePaths;
    std::size_t nodes = 0;
    std::size_t rowsWithoutFiles = 0;
    std::size_t lost = 0;
    if (const CatalogNode* root = catalog.RootNode()) {
        ForEachDescendant(*root, [&](const CatalogNode& node) {
            ++nodes;
            nodePaths.insert(node.Path());
            std::error_code ec;
            const fs::file_status status = fs::symlink_status(node.Path(), ec);
            const bool right = node.IsCatalog() ? fs::is_directory(status) : fs::is_regular_file(status);
            if (!right && IsLostOnPurpose(node) && !fs::exists(status)) {
                ++lost;
            } else if (!right) {
                ++rowsWithoutFiles;
                std::fprintf(stderr, "row without its file: %s\n", node.Path().c_str());
            }
        });
    }
    std::size_t filesWithoutRows = 0;
    std::size_t leftovers = 0;
    std::size_t kept = 0;
    const std::size_t trashFaults = TrashFaults(home, &leftovers, &kept);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(home, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string path = it->path().string();
        const std::string name = it->path().filename().string();
        if (name.starts_with("keep-") && it->is_regular_file()) {
            ++kept;
        }
        if (it.depth() == 0 && (name == "js" || name == "mwdx_index.html" || name == "mwdx_index.html_bak" ||
                                name == ".marrowdex-trash")) {
            it.disable_recursion_pending();
            continue;
        }
        if (IsTemporaryName(name)) {
            ++leftovers;
            std::fprintf(stderr, "leftover: %s\n", path.c_str());
            it.disable_recursion_pending();
        } else if (nodePaths.count(path) == 0) {
            ++filesWithoutRows;
            std::fprintf(stderr, "no row for: %s\n", path.c_str());
            it.disable_recursion_pending();
        }
    }
    const std::size_t journal = [] {
        int status = 0;
        return ReadJournal(&status).size();
    }();
    std::printf("nodes %zu unplaced %zu rows-without-files %zu files-without-rows %zu leftovers %zu journal %zu "
                "finished %zu undone %zu unresolved %zu lost %zu trash-faults %zu kept %zu home %s\n",
                nodes, load.unplaced.size(), rowsWithoutFiles, filesWithoutRows, leftovers, journal,
                recovery.finished.size(), recovery.undone.size(), recovery.unresolved.size(), lost, trashFaults, kept,
                home.c_str());
    StopStore();
    const bool agree = load.unplaced.empty() && rowsWithoutFiles == 0 && filesWithoutRows == 0 && leftovers == 0 &&
                       journal == 0 && recovery.unresolved.empty() && trashFaults == 0;
    return agree ? 0 : 1;
}

// Every file and link below `folder` with its content, and every folder: what must not change.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> seen;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string content = "folder";
        if (!it->is_directory()) {
            std::ifstream in(it->path(), std::ios::binary);
            content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        seen[it->path().string()] = content;
    }
    return seen;
}

int Hostile(const std::string& program, const std::string& outside, unsigned seed) {
    // OUTSIDE holds files, among them a folder named like a top-level catalog; so does its twin.
    const std::string twin = outside + "-twin";
    for (const std::string& folder : {outside, twin}) {
        fs::create_directories(folder + "/Physics/deep");
        std::ofstream(folder + "/notes.txt") << "the user's notes " << seed;
        std::ofstream(folder + "/Physics/keep.txt") << "keep";
        std::ofstream(folder + "/Physics/deep/keep too.txt") << "keep too";
    }
    CatalogModel catalog;
    if (!Start(program, catalog, nullptr, nullptr)) {
        return 1;
    }
    const std::string home = Home(catalog);
    const std::vector<CatalogNode*> catalogs = Catalogs(catalog);
    if (catalogs.empty()) {
        std::fprintf(stderr, "crash driver: no catalog to aim at\n");
        return 1;
    }
    const CatalogNode& aimed = *catalogs[seed / 16 % catalogs.size()];
    const std::string aside = JoinNodePath(FolderOf(aimed.Path()), TemporaryName(TemporaryKind::kDeleting, seed));
    const std::string planted = JoinNodePath(home, "Planted");
    JournalEntry entry;
    switch (seed % 11) {
    case 0: // every file in OUTSIDE removed as a moved import's original whose copy is itself
        entry = {.kind = kJournalImportKind,
                 .step = kJournalRowsWritten,
                 .fromPath = outside,
                 .toPath = outside,
                 .asidePath = aside,
                 .flags = 1};
        break;
    case 1: // OUTSIDE taken into the tree as an import published there
        entry = {.kind = kJournalImportKind, .fromPath = twin, .toPath = outside, .asidePath = aside, .pathLevel = 1};
        break;
    case 2: // the Home Directory's Physics deleted, as "moved whole" into OUTSIDE already
        entry = {.kind = kJournalHomeMove, .fromPath = home, .toPath = outside};
        break;
    case 3: // OUTSIDE's Physics deleted as "moved whole" into its twin, which becomes the Home Directory
        entry = {.kind = kJournalHomeMove, .fromPath = outside, .toPath = twin};
        break;
    case 4: // a catalog the rows still hold deleted with its files
        entry = {.kind = kJournalDelete,
                 .step = kJournalRowsWritten,
                 .nodeId = 999999,
                 .fromPath = aimed.Path(),
                 .asidePath = aside};
        break;
    case 5: // a catalog "moved" onto OUTSIDE's Physics: its own folder goes as the original
        entry = {.kind = kJournalMove,
                 .nodeId = aimed.FileId(),
                 .fromPath = aimed.Path(),
                 .toPath = outside + "/Physics",
                 .pathLevel = 1};
        break;
    case 6: // OUTSIDE's own file "added" as a document
        entry = {.kind = kJournalAddDocument,
                 .toPath = outside + "/notes.txt",
                 .name = "Notes",
                 .rawFileName = "notes.txt",
                 .fileType = 1,
                 .pathLevel = 1};
        break;
    case 8: // a catalog the rows still hold "deleted into the trash", into an entry that does not exist
        entry = {.kind = kJournalTrash,
                 .step = kJournalRowsWritten,
                 .nodeId = 999999,
                 .fromPath = aimed.Path(),
                 .toPath = JoinNodePath(home, ".marrowdex-trash/999999/" + aimed.Details().fileName)};
        break;
    case 9: // OUTSIDE's Physics "restored" into the Home Directory
        entry = {.kind = kJournalRestore,
                 .nodeId = 999999,
                 .fromPath = outside + "/Physics",
                 .toPath = planted,
                 .name = "Planted",
                 .pathLevel = 1};
        break;
    case 10: // a catalog's folder "deleted for good" as if it were the trash
        entry = {.kind = kJournalPurge, .step = kJournalRowsWritten, .fromPath = aimed.Path(), .asidePath = aside};
        break;
    default: // a step that adding a catalog never has
        entry = {.kind = kJournalAddCatalog,
                 .step = kJournalRowsWritten,
                 .toPath = planted,
                 .name = "Planted",
                 .pathLevel = 1};
        break;
    }
    if (WriteJournalEntry(entry) != kStatementOk) {
        std::fprintf(stderr, "crash driver: cannot plant the entry\n");
        return 1;
    }
    StopStore();

    const auto outsideBefore = Snapshot(outside);
    const auto twinBefore = Snapshot(twin);
    const auto homeBefore = Snapshot(home);
    const std::string rootDir(RootDirOf(SettingsCopy()));
    RecoveryReport recovery;
    CatalogModel restarted;
    if (!Start(program, restarted, &recovery, nullptr)) {
        return 1;
    }
    std::size_t touched = 0;
    for (const auto& [before, after] :
         {std::pair{&outsideBefore, Snapshot(outside)}, std::pair{&twinBefore, Snapshot(twin)},
          std::pair{&homeBefore, Snapshot(home)}}) {
        for (const auto& [path, content] : *before) {
            const auto now = after.find(path);
            if (now == after.end() || now->second != content) {
                ++touched;
                std::fprintf(stderr, "touched: %s\n", path.c_str());
            }
        }
        touched += after.size() > before->size() ? after.size() - before->size() : 0;
    }
    const bool sameHome = std::string(RootDirOf(SettingsCopy())) == rootDir;
    const std::size_t done = recovery.finished.size() + recovery.undone.size();
    const bool discarded = DiscardRefusedEntries({entry.id}, home).done && ReadJournal().empty();
    std::printf("kind %s refused %zu done %zu unresolved %zu touched %zu home-kept %d discarded %d\n",
                entry.kind.c_str(), recovery.refused.size(), done, recovery.unresolved.size(), touched,
                sameHome ? 1 : 0, discarded ? 1 : 0);
    StopStore();
    return recovery.refused.size() == 1 && done == 0 && recovery.unresolved.empty() && touched == 0 && sameHome &&
                   discarded
               ? 0
               : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if ((args.size() == 3 || args.size() == 4) && args[0] == "prepare") {
        return Prepare(args[1], args[2], args.size() == 4 ? std::stoi(args[3]) : 0);
    }
    if (args.size() == 5 && args[0] == "run") {
        Run(args[1], args[2], args[3], static_cast<unsigned>(std::stoul(args[4])));
    }
    if (args.size() == 5 && args[0] == "prepare-rollback") {
        return PrepareRollback(args[1], args[2], std::stoi(args[3]), std::stoi(args[4]));
    }
    if (args.size() == 4 && args[0] == "hostile") {
        return Hostile(args[1], args[2], static_cast<unsigned>(std::stoul(args[3])));
    }
    if (args.size() == 2 && args[0] == "check") {
        return Check(args[1]);
    }
    return Usage();
}
