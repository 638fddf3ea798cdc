#include "operations/check.h"

#include "catalog/disk_rules.h"
#include "catalog/paths.h"
#include "operations/journal_check.h"
#include "operations/steps.h"
#include "operations/trash.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "platform/unique_fd.h"
#include "store/check_record.h"
#include "store/journal.h"
#include "store/settings.h"
#include "store/trash_rows.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace mwdx {
namespace {

constexpr const char* kUnplacedReasons[] = {"missing parent", "cycle",        "id out of range",
                                            "path too long",  "duplicate id", "parent not placed"};

const char* ReasonText(UnplacedReason reason) {
    switch (reason) {
    case UnplacedReason::kMissingParent:
        return kUnplacedReasons[0];
    case UnplacedReason::kCycle:
        return kUnplacedReasons[1];
    case UnplacedReason::kIdOutOfRange:
        return kUnplacedReasons[2];
    case UnplacedReason::kPathTooLong:
        return kUnplacedReasons[3];
    case UnplacedReason::kDuplicateId:
        return kUnplacedReasons[4];
    case UnplacedReason::kParentNotPlaced:
        break;
    }
    return kUnplacedReasons[5];
}

// What a node expects on disk, and whether the walk met it.
struct Expected {
    const CatalogNode* node;
    bool seen = false;
};

bool IsKept(const std::string& name, bool topLevel) {
    return IsTemporaryName(name) || (topLevel && (name == "js" || name == "mwdx_index.html" ||
                                                  name == "mwdx_index.html_bak" || name == kTrashFolderName));
}

class Checker final {
public:
    Checker(const CatalogModel& catalog, const std::string& home, const ProgramFiles& program, CheckReport& report)
        : m_catalog(catalog), m_home(home), m_report(report) {
        // The walk meets the program's files under exactly these paths, and never goes into them.
        const ProgramPlaces places(program, home);
        for (const std::string& place : places.InHome()) {
            m_programOwn.insert(place);
            for (std::string above = FolderOf(place); above.size() > m_home.size(); above = FolderOf(above)) {
                m_programHolds.insert(above);
            }
        }
    }

    void Nodes() {
        const CatalogNode* root = m_catalog.RootNode();
        if (root == nullptr) {
            return;
        }
        m_expected.reserve(m_catalog.NodeCount());
        ForEachDescendant(*root, [this, root](const CatalogNode& node) {
            ++m_report.nodes;
            const auto [place, added] = m_expected.try_emplace(node.Path(), Expected{&node});
            if (!added) {
                Add(FindingKind::kSharedPath, node,
                    "shares its path with node " + std::to_string(place->second.node->FileId()));
            }
            const std::string_view name = node.NameOnDisk();
            if (node.IsCatalog() ? !IsSafeCatalogName(name) : !IsSafeFileName(name)) {
                Add(FindingKind::kBadName, node, "the name on disk \"" + std::string(name) + "\" cannot be used");
            }
            // A name with '/' puts its node inside folders of its own: those are owned too.
            if (name.find('/') != std::string_view::npos) {
                for (std::string above = FolderOf(node.Path()); above.size() > root->Path().size();
                     above = FolderOf(above)) {
                    m_containers.insert(above);
                }
            }
        });
    }

    // Every entry below the Home Directory, each folder read once, links never followed.
    void Walk() {
        struct Level {
            UniqueFd fd;
            std::string path;
        };
        std::vector<Level> pending;
        pending.push_back({UniqueFd(::open(m_home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), m_home});
        if (!pending.back().fd.Valid()) {
            return; // the missing Home Directory shows as every node missing
        }
        while (!pending.empty()) {
            Level level = std::move(pending.back());
            pending.pop_back();
            // The stream takes a descriptor of its own, so that it and `level` close theirs.
            const int own = ::fcntl(level.fd.Get(), F_DUPFD_CLOEXEC, 0);
            DIR* dir = own >= 0 ? ::fdopendir(own) : nullptr;
            if (dir == nullptr) {
                if (own >= 0) {
                    ::close(own);
                }
                continue;
            }
            const bool top = level.path == m_home;
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name == "." || name == ".." || IsKept(name, top)) {
                    continue;
                }
                std::string path = JoinNodePath(level.path, name);
                if (!m_programOwn.empty() && m_programOwn.contains(path) && !m_expected.contains(path)) {
                    continue;
                }
                ++m_report.entries;
                bool folder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    struct stat st {};
                    folder =
                        ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
                }
                const auto expected = m_expected.find(path);
                bool descend = false;
                if (expected != m_expected.end()) {
                    expected->second.seen = true;
                    const CatalogNode& node = *expected->second.node;
                    if (node.IsCatalog() != folder) {
                        Add(FindingKind::kWrongType, node,
                            node.IsCatalog() ? "a file where the catalog's folder should be"
                                             : "a folder where the document's file should be");
                    } else {
                        descend = folder;
                    }
                } else if (folder && (m_containers.contains(path) || m_programHolds.contains(path))) {
                    descend = true;
                } else {
                    m_untracked.push_back({FindingKind::kUntracked, 0, path, folder ? "folder" : "file"});
                }
                if (descend) {
                    const int fd =
                        ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (fd >= 0) {
                        pending.push_back({UniqueFd(fd), std::move(path)});
                    }
                }
            }
            ::closedir(dir);
        }
    }

    // Nodes the walk did not meet: missing, unless they lie where the walk does not go.
    void Missing() {
        std::vector<const CatalogNode*> missing;
        for (const auto& [path, expected] : m_expected) {
            if (!expected.seen) {
                struct stat st {};
                if (::lstat(path.c_str(), &st) != 0) {
                    missing.push_back(expected.node);
                } else if (S_ISDIR(st.st_mode) != expected.node->IsCatalog()) {
                    Add(FindingKind::kWrongType, *expected.node, "not the kind of entry its node is");
                }
            }
        }
        std::sort(missing.begin(), missing.end(),
                  [](const CatalogNode* a, const CatalogNode* b) { return a->FileId() < b->FileId(); });
        for (const CatalogNode* node : missing) {
            Add(FindingKind::kMissing, *node, node->IsCatalog() ? "folder missing" : "file missing");
        }
        std::sort(m_untracked.begin(), m_untracked.end(),
                  [](const Finding& a, const Finding& b) { return a.path < b.path; });
        m_report.findings.insert(m_report.findings.end(), m_untracked.begin(), m_untracked.end());
    }

    void Add(FindingKind kind, const CatalogNode& node, std::string detail) {
        m_report.findings.push_back({kind, node.FileId(), node.Path(), std::move(detail)});
    }

private:
    const CatalogModel& m_catalog;
    const std::string& m_home;
    CheckReport& m_report;
    std::unordered_map<std::string, Expected> m_expected;
    std::unordered_set<std::string> m_containers;
    std::unordered_set<std::string> m_programOwn;   // the program's files in the Home Directory
    std::unordered_set<std::string> m_programHolds; // the folders between them and the Home Directory
    std::vector<Finding> m_untracked;
};

void CheckScriptFolder(const std::string& home, const std::string& scriptSource, CheckReport& report) {
    const std::string js = JoinNodePath(home, "js");
    std::vector<std::string> needed;
    if (!scriptSource.empty()) {
        // Every file of the program's own copy, by its path below js/.
        std::vector<std::string> folders{""};
        while (!folders.empty()) {
            const std::string below = folders.back();
            folders.pop_back();
            DIR* dir = ::opendir((scriptSource + below).c_str());
            if (dir == nullptr) {
                continue;
            }
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name == "." || name == "..") {
                    continue;
                }
                struct stat st {};
                const std::string relative = below + "/" + name;
                if (::stat((scriptSource + relative).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                    folders.push_back(relative);
                } else {
                    needed.push_back(relative);
                }
            }
            ::closedir(dir);
        }
    }
    if (needed.empty()) {
        needed = {"/dtree.js", "/dtree.css"};
    }
    std::sort(needed.begin(), needed.end());
    std::string absent;
    for (const std::string& file : needed) {
        struct stat st {};
        if (::stat((js + file).c_str(), &st) != 0) {
            absent += absent.empty() ? file.substr(1) : ", " + file.substr(1);
        }
    }
    if (!absent.empty()) {
        report.findings.push_back({FindingKind::kScriptFolder, 0, js, "missing: " + absent});
    }
}

// The names in a folder, "." and ".." left out; nothing when it cannot be read.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const int own = fd.Valid() ? ::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 0) : -1;
    DIR* dir = own >= 0 ? ::fdopendir(own) : nullptr;
    if (dir == nullptr) {
        if (own >= 0) {
            ::close(own);
        }
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The trash against its rows: each entry that has files holds exactly its own file or folder in
// its folder, and nothing else lies in the trash. Entries an unfinished command is moving are that
// command's finding.
void CheckTrash(const std::string& home, const std::vector<JournalEntry>& journal, CheckReport& report) {
    const auto add = [&report](std::string path, std::string detail, std::int64_t entry = 0) {
        report.findings.push_back({FindingKind::kTrash, 0, std::move(path), std::move(detail), entry});
    };
    int status = 0;
    const std::vector<TrashEntry> entries = ReadTrash(&status);
    const std::string trash = TrashFolderOf(home);
    if (status != 0) {
        add(trash, "the trash's rows cannot be read");
        return;
    }
    std::unordered_set<std::int64_t> busy;
    for (const JournalEntry& entry : journal) {
        if (entry.kind == kJournalTrash || entry.kind == kJournalRestore || entry.kind == kJournalPurge) {
            busy.insert(entry.nodeId);
        }
    }
    const PathKind kind = WhatIsAt(trash);
    if (kind == PathKind::kOther) {
        add(trash, "not a folder");
        return;
    }
    std::unordered_map<std::string, const TrashEntry*> expected;
    for (const TrashEntry& entry : entries) {
        if (entry.files && !busy.contains(entry.id)) {
            expected.emplace(std::to_string(entry.id), &entry);
        }
    }
    std::unordered_set<std::string> seen;
    if (kind != PathKind::kNothing && !busy.contains(0)) {
        for (const std::string& name : NamesIn(trash)) {
            const std::string path = JoinNodePath(trash, name);
            if (IsTemporaryName(name)) {
                continue; // a delete for good under way: the journal's
            }
            const auto owner = expected.find(name);
            if (owner == expected.end()) {
                const bool numbered = !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
                if (!numbered || !busy.contains(std::atoll(name.c_str()))) {
                    add(path, "no entry of the trash owns it");
                }
                continue;
            }
            seen.insert(name);
            const TrashEntry& entry = *owner->second;
            bool found = false;
            for (const std::string& inside : NamesIn(path)) {
                const std::string item = JoinNodePath(path, inside);
                if (inside != entry.NameOnDisk()) {
                    add(item, "no entry of the trash owns it", entry.id);
                    continue;
                }
                found = true;
                const PathKind there = WhatIsAt(item);
                if ((there == PathKind::kFolder || there == PathKind::kEmptyFolder) !=
                    (entry.fileType == kCatalogType)) {
                    add(item, "not the kind of entry its node was", entry.id);
                }
            }
            if (!found) {
                add(JoinNodePath(path, entry.NameOnDisk()), "files missing", entry.id);
            }
        }
    }
    for (const auto& [name, entry] : expected) {
        if (!seen.contains(name)) {
            add(TrashItemPath(home, *entry), "files missing", entry->id);
        }
    }
}

} // namespace

int FindingTitle(FindingKind kind) {
    switch (kind) {
    case FindingKind::kRefusedEntry:
        return text::kRefusedEntries;
    case FindingKind::kHomeDirectory:
        return text::kFindingsHomeDirectory;
    case FindingKind::kNotIndexed:
        return text::kFindingsNotIndexed;
    case FindingKind::kIndexStale:
        return text::kFindingsIndexStale;
    case FindingKind::kTrash:
        return text::kFindingsTrash;
    default:
        return text::kFindingsFirst + static_cast<int>(kind);
    }
}

std::size_t CheckReport::Count(FindingKind kind) const {
    return static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(), [kind](const Finding& f) { return f.kind == kind; }));
}

CheckReport CheckKnowledgeBase(const CatalogModel& catalog, const LoadReport& load, const std::string& home,
                               const ProgramFiles& program) {
    CheckReport report;
    // A relative value would have the walk read the working folder, "/" the whole file system.
    const bool usable = IsUsableHomeDirectory(home);
    Checker checker(catalog, home, program, report);
    checker.Nodes();
    if (usable) {
        checker.Walk();
        checker.Missing();
    } else {
        report.findings.push_back(
            {FindingKind::kHomeDirectory, 0, home,
             home.empty() ? "no Home Directory is set" : "not an absolute, normal path other than /"});
    }
    for (const UnplacedRow& row : load.unplaced) {
        report.findings.push_back({FindingKind::kUnplaced, row.fileId, row.fileName, ReasonText(row.reason)});
    }
    for (const CorrectedLevel& level : load.correctedLevels) {
        const CatalogNode* node = catalog.NodeById(level.fileId);
        report.findings.push_back(
            {FindingKind::kWrongLevel, level.fileId, node != nullptr ? node->Path() : "",
             "stored " + std::to_string(level.storedLevel) + ", in the tree " + std::to_string(level.level)});
    }
    const std::vector<JournalEntry> journal = ReadJournal();
    for (const JournalEntry& entry : journal) {
        const std::string refused = WhyEntryIsRefused(entry, home);
        const bool namesNode =
            entry.kind != kJournalTrash && entry.kind != kJournalRestore && entry.kind != kJournalPurge;
        report.findings.push_back({refused.empty() ? FindingKind::kUnfinished : FindingKind::kRefusedEntry,
                                   namesNode ? entry.nodeId : 0, EntryPath(entry),
                                   refused.empty() ? entry.kind : entry.kind + ": " + refused, entry.id});
    }
    if (usable) {
        CheckScriptFolder(home, program.folder.empty() ? std::string() : JoinNodePath(program.folder, "js"), report);
        CheckTrash(home, journal, report);
    }
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.kind < b.kind; });
    return report;
}

CheckReport CheckOpenStore(const ProgramFiles& program, LoadReport* load) {
    CatalogModel catalog;
    LoadReport ownLoad;
    LoadReport& report = load != nullptr ? *load : ownLoad;
    report = {};
    LoadCatalog(catalog, &report);
    const std::string home =
        catalog.RootNode() != nullptr ? catalog.RootNode()->Path() : std::string(RootDirOf(SettingsCopy()));
    return CheckKnowledgeBase(catalog, report, home, program);
}

CheckReport CheckAndRemember(const ProgramFiles& program, LoadReport* load) {
    ClearJournalEntriesLeftForLater();
    CheckReport report = CheckOpenStore(program, load);
    WriteLastCheck(static_cast<std::int64_t>(report.findings.size()));
    return report;
}

} // namespace mwdx
