#include "operations/repair.h"

#include "catalog/disk_rules.h"
#include "catalog/paths.h"
#include "operations/add_catalog.h"
#include "operations/delete_node.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/journal.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

namespace mwdx {
namespace {

bool Attachable(UnplacedReason reason) {
    return reason == UnplacedReason::kMissingParent || reason == UnplacedReason::kCycle ||
           reason == UnplacedReason::kPathTooLong;
}

// Runs `sql` once per id, with the id bound to its first parameter and `value` to its second.
int ForEachId(const char* sql, const std::vector<std::pair<std::int64_t, std::int64_t>>& rows) {
    Statement update(sql);
    for (std::size_t i = 0; update.Status() == kStatementOk && i < rows.size(); ++i) {
        update.Reset();
        update.Bind(1, rows[i].first).Bind(2, rows[i].second).Run();
    }
    return update.Status();
}

} // namespace

OpResult AttachUnplacedRows(CatalogModel& catalog, const std::string& home, const LoadReport& load,
                            const std::string& recoveredName) {
    if (!IsUsableHomeDirectory(home)) {
        return OpResult::Refused(text::kHomeNotUsable, "the Home Directory " + home + " is not usable");
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> attached;
    CatalogNode* recovered = nullptr;
    if (const CatalogNode* root = catalog.RootNode()) {
        recovered = const_cast<CatalogNode*>(SiblingCatalogNamed(*root, recoveredName));
    }
    if (recovered == nullptr) {
        const OpResult made = AddCatalogOperation(catalog, home, {nullptr, recoveredName, ""}, &recovered);
        if (!made.done) {
            return made;
        }
    }
    // One row of each cycle is attached: the others keep their parents and their places below it.
    std::unordered_map<std::int64_t, std::int64_t> parentOf;
    for (const UnplacedRow& row : load.unplaced) {
        parentOf[row.fileId] = row.parentId;
    }
    std::unordered_set<std::int64_t> inHandledCycle;
    std::vector<UnplacedRow> rows = load.unplaced;
    std::sort(rows.begin(), rows.end(), [](const UnplacedRow& a, const UnplacedRow& b) { return a.fileId < b.fileId; });
    for (const UnplacedRow& row : rows) {
        if (!Attachable(row.reason) || inHandledCycle.contains(row.fileId)) {
            continue;
        }
        attached.emplace_back(row.fileId, recovered->FileId());
        if (row.reason == UnplacedReason::kCycle) {
            for (std::int64_t id = row.fileId; inHandledCycle.insert(id).second && parentOf.contains(id);) {
                id = parentOf[id];
            }
        }
    }
    if (attached.empty()) {
        return OpResult::Done();
    }
    Transaction transaction;
    bool saved = transaction.Begin() == kStatementOk &&
                 ForEachId("UPDATE FILE_NODE SET PARENT_ID = ?2 WHERE FILE_ID = ?1;", attached) == kStatementOk;
    // Every row below the attached ones one level deeper than its parent, walked once (a row met
    // again, in what was a cycle, keeps its first level).
    std::unordered_map<std::int64_t, std::vector<std::int64_t>> children;
    const StoreLock lock;
    if (saved) {
        Statement all("SELECT FILE_ID, PARENT_ID FROM FILE_NODE;");
        while (all.Next()) {
            children[all.Integer(1)].push_back(all.Integer(0));
        }
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> levels;
    std::unordered_set<std::int64_t> seen{recovered->FileId()};
    std::vector<std::pair<std::int64_t, std::int64_t>> pending{{recovered->FileId(), recovered->PathLevel()}};
    while (!pending.empty()) {
        const auto [id, level] = pending.back();
        pending.pop_back();
        for (const std::int64_t child : children[id]) {
            if (seen.insert(child).second) {
                levels.emplace_back(child, level + 1);
                pending.emplace_back(child, level + 1);
            }
        }
    }
    saved = saved && ForEachId("UPDATE FILE_NODE SET PATH_LEVEL = ?2 WHERE FILE_ID = ?1;", levels) == kStatementOk &&
            transaction.Commit() == kStatementOk;
    return saved ? OpResult::Done() : OpResult::Refused(text::kChangeNotSaved, "the rows cannot be written");
}

OpResult RemoveUnplacedRows(const LoadReport& load) {
    std::vector<std::pair<std::int64_t, std::int64_t>> rows;
    for (const UnplacedRow& row : load.unplaced) {
        rows.emplace_back(row.fileId, 0);
    }
    Transaction transaction;
    const bool saved = transaction.Begin() == kStatementOk &&
                       ForEachId("DELETE FROM FILE_NODE WHERE FILE_ID = ?1 AND ?2 = 0;", rows) == kStatementOk &&
                       transaction.Commit() == kStatementOk;
    return saved ? OpResult::Done() : OpResult::Refused(text::kChangeNotSaved, "the rows cannot be deleted");
}

NodeRemoval RemoveMissingNodes(CatalogModel& catalog, const std::string& home, const std::vector<Finding>& findings,
                               const ProgramFiles& program, const RepairControl& control) {
    NodeRemoval removal;
    removal.result = OpResult::Done();
    for (std::size_t i = 0; i < findings.size(); ++i) {
        if (control.cancel != nullptr && control.cancel->load()) {
            removal.cancelled = true;
            break;
        }
        const Finding& finding = findings[i];
        CatalogNode* node = finding.kind == FindingKind::kMissing ? catalog.NodeById(finding.nodeId) : nullptr;
        if (node != nullptr && node->Parent() != nullptr && node->Path() == finding.path) {
            const OpResult result = DeleteNodeOperation(catalog, home, *node, false, program);
            removal.removed += result.done ? 1 : 0;
            if (removal.result.message == 0) {
                removal.result.message = result.message;
                removal.result.detail = result.detail;
            }
        }
        if (control.progress) {
            control.progress(i + 1, findings.size());
        }
    }
    return removal;
}

OpResult RewriteLevels(const LoadReport& load) {
    std::vector<std::pair<std::int64_t, std::int64_t>> rows;
    for (const CorrectedLevel& level : load.correctedLevels) {
        rows.emplace_back(level.fileId, level.level);
    }
    Transaction transaction;
    const bool saved = transaction.Begin() == kStatementOk &&
                       ForEachId("UPDATE FILE_NODE SET PATH_LEVEL = ?2 WHERE FILE_ID = ?1;", rows) == kStatementOk &&
                       transaction.Commit() == kStatementOk;
    return saved ? OpResult::Done() : OpResult::Refused(text::kChangeNotSaved, "the levels cannot be written");
}

OpResult LocateMissing(CatalogModel& catalog, const std::string& home, CatalogNode& node, const std::string& source,
                       bool move, const TransferStep& transfer, const ProgramFiles& program) {
    if (!IsUsableHomeDirectory(home)) {
        return OpResult::Refused(text::kHomeNotUsable, "the Home Directory " + home + " is not usable");
    }
    const std::string path = node.Path();
    const HomeTree tree(home);
    if (!tree.Contains(path) || !IsInsideHome(home, path)) {
        return OpResult::Refused(text::kTransferFailed, path + " is outside " + home);
    }
    if (WhatIsAt(path) != PathKind::kNothing) {
        return OpResult::Refused(node.IsCatalog() ? text::kNameTakenOnDisk : text::kFileNameTaken, path + " is there");
    }
    std::string error;
    MadeDirectories made;
    if (node.IsCatalog()) {
        return tree.MakeDirectoryPath(path, &made, &error) ? OpResult::Done()
                                                           : OpResult::Refused(text::kAddFailed, error);
    }
    if (move && BelongsToKnowledgeBase(catalog, home, source, program)) {
        return OpResult::Refused(text::kSourceBelongsToStore, source + " belongs to the knowledge base");
    }
    JournalEntry entry;
    entry.kind = kJournalLocate;
    entry.nodeId = node.FileId();
    entry.fromPath = source;
    entry.toPath = path;
    entry.asidePath = OutermostMissing(home, FolderOf(path));
    if (const int rc = WriteJournalEntry(entry); rc != kStatementOk) {
        return OpResult::Refused(text::kChangeNotSaved, "the store cannot be written (" + std::to_string(rc) + ")");
    }
    const bool arrived = tree.MakeDirectoryPath(FolderOf(path), &made, &error) &&
                         (transfer ? transfer(tree, source, path, move, &error)
                          : move   ? tree.MoveFileNoReplace(source, path, &error)
                                   : tree.CopyFileNoReplace(source, path, &error));
    if (!arrived) {
        tree.RemoveMadeDirectories(made);
    }
    ClearJournalEntry(entry.id);
    return arrived ? OpResult::Done() : OpResult::Refused(text::kTransferFailed, error);
}

OpResult RestoreScriptFiles(const std::string& home, const std::string& scriptSource) {
    // A relative value would put the files under the working folder, "/" at the file system's root.
    if (!IsUsableHomeDirectory(home)) {
        return OpResult::Refused(text::kHomeNotUsable, "the Home Directory " + home + " is not usable");
    }
    const HomeTree tree(home);
    const std::string js = JoinNodePath(home, "js");
    std::error_code ec;
    std::vector<std::string> folders{""};
    while (!folders.empty()) {
        const std::string below = folders.back();
        folders.pop_back();
        const std::string folder = js + below;
        const PathKind there = WhatIsAt(folder);
        if (there == PathKind::kOther) {
            return OpResult::Refused(text::kNameTakenOnDisk, folder + " is not a folder");
        }
        std::string error;
        if (there == PathKind::kNothing && !tree.MakeDirectoryPath(folder, nullptr, &error)) {
            return OpResult::Refused(text::kTransferFailed, error);
        }
        for (auto it = std::filesystem::directory_iterator(scriptSource + below, ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::string relative = below + "/" + it->path().filename().string();
            if (it->is_directory(ec)) {
                folders.push_back(relative);
            } else if (WhatIsAt(js + relative) == PathKind::kNothing &&
                       !tree.CopyFileNoReplace(it->path().string(), js + relative, &error)) {
                return OpResult::Refused(text::kTransferFailed, error);
            }
        }
        if (ec) {
            return OpResult::Refused(text::kTransferFailed, "cannot read " + scriptSource + below);
        }
    }
    return OpResult::Done();
}

} // namespace mwdx
