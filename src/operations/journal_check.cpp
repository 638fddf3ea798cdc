#include "operations/journal_check.h"

#include "catalog/node.h"
#include "catalog/paths.h"
#include "operations/home_move.h"
#include "operations/import_folder.h"
#include "operations/repair.h"
#include "operations/steps.h"
#include "operations/trash.h"
#include "platform/home_fs.h"
#include "store/connection.h"

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

namespace mwdx {
namespace {

// Deeper than any path Linux takes: a chain longer than this is a cycle or damage.
constexpr int kMostLevels = 4096;

struct StoredRow {
    std::int64_t parentId = 0;
    bool catalog = false;
    std::string nameOnDisk;
};

StoredRow ReadRow(const Statement& select, int first) {
    StoredRow row;
    row.parentId = select.Integer(first);
    row.catalog = select.Integer(first + 1) == kCatalogType;
    row.nameOnDisk = select.Text(row.catalog ? first + 2 : first + 3);
    return row;
}

std::optional<StoredRow> RowOf(std::int64_t fileId) {
    Statement select("SELECT PARENT_ID,FILETYPE,FILE_NAME,RAW_FILE_NAME FROM FILE_NODE WHERE FILE_ID = ?;");
    if (select.Bind(1, fileId).Next()) {
        return ReadRow(select, 0);
    }
    return std::nullopt;
}

// The path the rows give the node `fileId` below `home` (lexically normal), as the loader builds
// it: its parents' names on disk and its own. Empty when a row on the way is missing or the chain
// does not end.
std::string StoredPath(std::int64_t fileId, const std::string& home) {
    std::vector<std::string> names;
    for (std::int64_t at = fileId; at != 0;) {
        const std::optional<StoredRow> row = RowOf(at);
        if (!row || names.size() > kMostLevels) {
            return {};
        }
        names.push_back(row->nameOnDisk);
        at = row->parentId;
    }
    std::string path = home;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        path = JoinNodePath(path, *name);
    }
    return LexicallyNormal(path);
}

std::vector<std::string> PartsOf(std::string_view path) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) {
            parts.emplace_back(path.substr(start, slash - start));
        }
        start = slash + 1;
    }
    return parts;
}

// True when a row's path is `path` or lies below it: the rows are followed down from the top
// level, one name of `path` at a time (a stored name with '/' takes several).
bool AnyRowAtOrBelow(const std::string& path, const std::string& home) {
    const std::vector<std::string> parts = PartsOf(path.substr(home.size()));
    struct Reached {
        std::int64_t id;
        std::size_t matched;
    };
    std::vector<Reached> pending{{0, 0}};
    std::unordered_set<std::int64_t> seen;
    Statement children("SELECT FILE_ID,PARENT_ID,FILETYPE,FILE_NAME,RAW_FILE_NAME FROM FILE_NODE WHERE PARENT_ID = ?;");
    if (children.Status() != kStatementOk) {
        return true; // unreadable rows prove nothing: take the path as used
    }
    bool found = false;
    while (!pending.empty() && !found) {
        const Reached at = pending.back();
        pending.pop_back();
        children.Reset();
        children.Bind(1, at.id);
        while (!found && children.Next()) {
            const std::int64_t id = children.Integer(0);
            const std::vector<std::string> names = PartsOf(ReadRow(children, 1).nameOnDisk);
            std::size_t k = 0;
            while (k < names.size() && at.matched + k < parts.size() && names[k] == parts[at.matched + k]) {
                ++k;
            }
            if (k < names.size() && at.matched + k < parts.size()) {
                continue; // another name
            }
            if (at.matched + k == parts.size()) {
                found = true;
            } else if (seen.insert(id).second) {
                pending.push_back({id, at.matched + k});
            }
        }
    }
    return found;
}

std::string BaseName(std::string_view path) {
    return std::string(path.substr(path.rfind('/') + 1));
}

class EntryCheck final {
public:
    EntryCheck(const JournalEntry& entry, std::string home) : m_e(entry), m_home(std::move(home)) {}

    std::string Verdict() const {
        using Check = std::string (EntryCheck::*)() const;
        const std::pair<const char*, Check> checks[] = {
            {kJournalAddCatalog, &EntryCheck::AddCatalog},
            {kJournalAddDocument, &EntryCheck::AddDocument},
            {kJournalRename, &EntryCheck::Rename},
            {kJournalDelete, &EntryCheck::Delete},
            {kJournalMove, &EntryCheck::Move},
            {kJournalImportKind, &EntryCheck::Import},
            {kJournalLocate, &EntryCheck::Locate},
            {kJournalHomeMove, &EntryCheck::HomeMove},
            {kJournalTrash, &EntryCheck::Trash},
            {kJournalRestore, &EntryCheck::Restore},
            {kJournalPurge, &EntryCheck::Purge},
        };
        for (const auto& [kind, check] : checks) {
            if (m_e.kind == kind) {
                return (this->*check)();
            }
        }
        return {};
    }

private:
    static std::string Normal(const std::string& path) { return LexicallyNormal(path); }

    // Strictly inside the Home Directory once "." and ".." are resolved.
    bool Inside(const std::string& path) const {
        const std::string normal = Normal(path);
        return !path.empty() && path.front() == '/' && normal != m_home && IsAtOrBelow(normal, m_home);
    }

    // The aside path is one of the program's temporary names, directly in `folder`.
    bool AsideIn(const std::string& folder) const {
        return Inside(m_e.asidePath) && IsTemporaryName(BaseName(Normal(m_e.asidePath))) &&
               FolderOf(Normal(m_e.asidePath)) == Normal(folder);
    }

    // The aside path names the outermost folder a command made on the way to `path`, or nothing.
    bool MadeAbove(const std::string& path) const {
        return m_e.asidePath.empty() || (Inside(m_e.asidePath) && IsAtOrBelow(Normal(path), Normal(m_e.asidePath)));
    }

    bool Steps(std::initializer_list<int> steps, std::initializer_list<int> flags) const {
        return std::find(steps.begin(), steps.end(), m_e.step) != steps.end() &&
               std::find(flags.begin(), flags.end(), m_e.flags) != flags.end();
    }

    // The path of `name` in the catalog `parentId` (0: the top level), as the rows give it; empty
    // when that is no catalog.
    std::string InParent(const std::string& name) const {
        if (m_e.parentId == 0) {
            return Normal(JoinNodePath(m_home, name));
        }
        const std::optional<StoredRow> parent = RowOf(m_e.parentId);
        const std::string path = parent && parent->catalog ? StoredPath(m_e.parentId, m_home) : std::string();
        return path.empty() ? path : Normal(JoinNodePath(path, name));
    }

    std::string AddCatalog() const {
        if (!Steps({kJournalStarted}, {0}) || m_e.fileType != kCatalogType) {
            return "its step, flags or type do not go together";
        }
        if (!Inside(m_e.toPath) || !MadeAbove(m_e.toPath) || !m_e.fromPath.empty()) {
            return "a path lies outside the Home Directory";
        }
        if (m_e.name.empty() || InParent(m_e.name) != Normal(m_e.toPath)) {
            return "its catalog's rows do not agree with it";
        }
        return {};
    }

    std::string AddDocument() const {
        if (!Steps({kJournalStarted}, {0, 1}) || m_e.fileType != kDocumentType) {
            return "its step, flags or type do not go together";
        }
        if (!Inside(m_e.toPath) || !MadeAbove(FolderOf(Normal(m_e.toPath)))) {
            return "a path lies outside the Home Directory";
        }
        if (m_e.rawFileName.empty() || InParent(m_e.rawFileName) != Normal(m_e.toPath)) {
            return "its catalog's rows do not agree with it";
        }
        return {};
    }

    std::string Rename() const {
        if (!Steps({kJournalStarted}, {0})) {
            return "its step and flags do not go together";
        }
        if (!Inside(m_e.fromPath) || !Inside(m_e.toPath)) {
            return "a path lies outside the Home Directory";
        }
        const std::optional<StoredRow> node = RowOf(m_e.nodeId);
        if (FolderOf(Normal(m_e.fromPath)) != FolderOf(Normal(m_e.toPath)) ||
            BaseName(Normal(m_e.toPath)) != m_e.name || !node || !node->catalog ||
            StoredPath(m_e.nodeId, m_home) != Normal(m_e.fromPath)) {
            return "its catalog's rows do not agree with it";
        }
        return {};
    }

    std::string Delete() const {
        if (!Steps({kJournalStarted, kJournalRowsWritten}, {0})) {
            return "its step and flags do not go together";
        }
        if (!Inside(m_e.fromPath) || !AsideIn(FolderOf(Normal(m_e.fromPath)))) {
            return "a path lies outside the Home Directory";
        }
        // Its rows went with the entry's writing: what still stands at the path and is deleted
        // now must be nobody's.
        if (m_e.step == kJournalRowsWritten && WhatIsAt(m_e.fromPath) != PathKind::kNothing &&
            (RowOf(m_e.nodeId) || AnyRowAtOrBelow(Normal(m_e.fromPath), m_home))) {
            return "catalogs or documents still use what it would delete";
        }
        return {};
    }

    std::string Move() const {
        if (!Steps({kJournalStarted, kJournalRollingBack}, {0})) {
            return "its step and flags do not go together";
        }
        if (!Inside(m_e.fromPath) || !Inside(m_e.toPath) || !m_e.asidePath.empty()) {
            return "a path lies outside the Home Directory";
        }
        const std::optional<StoredRow> node = RowOf(m_e.nodeId);
        if (!node || StoredPath(m_e.nodeId, m_home) != Normal(m_e.fromPath) ||
            InParent(node->nameOnDisk) != Normal(m_e.toPath)) {
            return "its node's rows do not agree with it";
        }
        return {};
    }

    std::string Import() const {
        // A copy's entry ends with its rows; only a move's waits, rows written, for its originals.
        if (!Steps({kJournalStarted}, {0, 1}) && !Steps({kJournalRowsWritten}, {1})) {
            return "its step and flags do not go together";
        }
        if (!Inside(m_e.toPath) || !AsideIn(FolderOf(Normal(m_e.toPath)))) {
            return "a path lies outside the Home Directory";
        }
        // The originals lie outside the Home Directory, apart from it, under the same name.
        const std::string from = Normal(m_e.fromPath);
        if (m_e.fromPath.empty() || m_e.fromPath.front() != '/' || from == "/" || IsAtOrBelow(from, m_home) ||
            IsAtOrBelow(m_home, from) || BaseName(from) != BaseName(Normal(m_e.toPath))) {
            return "the folder it imports from overlaps the Home Directory or has another name";
        }
        if (InParent(BaseName(from)) != Normal(m_e.toPath)) {
            return "its catalog's rows do not agree with it";
        }
        return {};
    }

    std::string Locate() const {
        if (!Steps({kJournalStarted}, {0})) {
            return "its step and flags do not go together";
        }
        if (!Inside(m_e.toPath) || !MadeAbove(FolderOf(Normal(m_e.toPath)))) {
            return "a path lies outside the Home Directory";
        }
        const std::optional<StoredRow> node = RowOf(m_e.nodeId);
        if (!node || node->catalog || StoredPath(m_e.nodeId, m_home) != Normal(m_e.toPath)) {
            return "its document's rows do not agree with it";
        }
        return {};
    }

    std::string HomeMove() const {
        if (!Steps({kJournalStarted, kJournalRollingBack}, {0})) {
            return "its step and flags do not go together";
        }
        const std::string to = Normal(m_e.toPath);
        if (m_e.fromPath != m_home) {
            return "it does not move from the Home Directory the store names";
        }
        if (m_e.toPath.empty() || m_e.toPath != to || to.front() != '/' || to == "/" || IsAtOrBelow(to, m_home) ||
            IsAtOrBelow(m_home, to)) {
            return "the folder it moves into is not a folder apart from the Home Directory";
        }
        if (!IsMoveMarkOf(m_e)) {
            return "the folder it moves into holds no mark of that move";
        }
        return {};
    }

    std::string TrashFolder() const { return JoinNodePath(m_home, kTrashFolderName); }
    bool InTrash(const std::string& path) const { return IsAtOrBelow(Normal(path), TrashFolder()); }

    // A delete into the trash: its rows are in the entry it names, and its files go from the
    // node's old place into the entry's folder.
    std::string Trash() const {
        if (!Steps({kJournalRowsWritten}, {0})) {
            return "its step and flags do not go together";
        }
        if (!Inside(m_e.fromPath) || InTrash(m_e.fromPath) || !Inside(m_e.toPath) || !m_e.asidePath.empty()) {
            return "a path lies outside the Home Directory";
        }
        const std::optional<TrashEntry> entry = ReadTrashEntry(m_e.nodeId);
        if (!entry || !entry->files || Normal(JoinNodePath(m_home, entry->place)) != Normal(m_e.fromPath) ||
            Normal(TrashItemPath(m_home, *entry)) != Normal(m_e.toPath)) {
            return "its trash entry does not agree with it";
        }
        // Its rows went into the trash with the entry's writing: what stands at the place must be nobody's.
        if (WhatIsAt(m_e.fromPath) != PathKind::kNothing && AnyRowAtOrBelow(Normal(m_e.fromPath), m_home)) {
            return "catalogs or documents still use what it would move";
        }
        return {};
    }

    // A restore: the entry's file or folder goes from the trash to a free place in a catalog.
    std::string Restore() const {
        if (!Steps({kJournalStarted}, {0})) {
            return "its step and flags do not go together";
        }
        if (!Inside(m_e.fromPath) || !Inside(m_e.toPath) || InTrash(m_e.toPath) ||
            !MadeAbove(FolderOf(Normal(m_e.toPath)))) {
            return "a path lies outside the Home Directory";
        }
        const std::optional<TrashEntry> entry = ReadTrashEntry(m_e.nodeId);
        if (!entry || !entry->files || Normal(TrashItemPath(m_home, *entry)) != Normal(m_e.fromPath) ||
            entry->onDisk != m_e.name || entry->fileType != m_e.fileType) {
            return "its trash entry does not agree with it";
        }
        if (InParent(m_e.name) != Normal(m_e.toPath)) {
            return "its catalog's rows do not agree with it";
        }
        if (AnyRowAtOrBelow(Normal(m_e.toPath), m_home)) {
            return "catalogs or documents already use the place it restores to";
        }
        return {};
    }

    // A delete for good from the trash: an entry's folder (or the whole trash) put aside and
    // removed once the rows are gone.
    std::string Purge() const {
        if (!Steps({kJournalStarted, kJournalRowsWritten}, {0})) {
            return "its step and flags do not go together";
        }
        const std::string from = Normal(m_e.fromPath);
        const std::string expected =
            m_e.nodeId == 0 ? TrashFolder() : Normal(JoinNodePath(TrashFolder(), std::to_string(m_e.nodeId)));
        if (m_e.nodeId < 0 || from != expected || !AsideIn(FolderOf(from))) {
            return "a path lies outside the trash";
        }
        if (m_e.step == kJournalRowsWritten) {
            // The rows went with the step's writing: what it removes may be no entry's any more.
            int status = 0;
            for (const TrashEntry& entry : ReadTrash(&status)) {
                if (m_e.nodeId == 0 ? entry.files : entry.id == m_e.nodeId) {
                    return "the trash still holds what it would delete";
                }
            }
            if (status != 0) {
                return "the trash cannot be read";
            }
        }
        return {};
    }

    const JournalEntry& m_e;
    const std::string m_home;
};

} // namespace

std::string WhyEntryIsRefused(const JournalEntry& entry, const std::string& home) {
    std::string folder = home;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    if (!IsUsableHomeDirectory(folder)) {
        return "the Home Directory is not an absolute, normalised folder";
    }
    return EntryCheck(entry, folder).Verdict();
}

const std::string& EntryPath(const JournalEntry& entry) {
    return entry.toPath.empty() ? entry.fromPath : entry.toPath;
}

} // namespace mwdx
