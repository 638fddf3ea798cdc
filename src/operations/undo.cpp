#include "operations/undo.h"

#include "catalog/insert_remove.h"
#include "catalog/paths.h"
#include "operations/edit_node.h"
#include "operations/move_node.h"
#include "operations/trash.h"
#include "platform/text_ids.h"
#include "store/trash_rows.h"

#include <sys/stat.h>
#include <unordered_set>

namespace mwdx {
namespace {

// The catalog a node goes back to: 0 is the top level (the Root Node).
CatalogNode* CatalogById(CatalogModel& catalog, NodeId id) {
    CatalogNode* node = id == 0 ? catalog.RootNode() : catalog.NodeById(id);
    return node != nullptr && node->IsCatalog() ? node : nullptr;
}

NodeId IdOfCatalog(const CatalogNode* catalog) {
    return catalog == nullptr || catalog->Parent() == nullptr ? 0 : catalog->FileId();
}

OpResult Gone(const std::string& what) {
    return OpResult::Refused(text::kUndoNodeGone, what + " is gone");
}

OpResult CheckMark(const FileMark& recorded, const std::string& path) {
    if (!StillTheSame(recorded, MarkOf(path))) {
        return OpResult::Refused(text::kUndoFileChanged, path + " was changed outside the program");
    }
    return OpResult::Done();
}

std::string TrashPlaceOf(const std::string& home, std::int64_t entry) {
    const std::optional<TrashEntry> found = ReadTrashEntry(entry);
    return found && found->files ? TrashItemPath(home, *found) : std::string();
}

// What an undo or a redo works with.
struct Context {
    CatalogModel& catalog;
    const std::string& home;
    const ProgramFiles& program;
};

// --- moves: back to the old parent, or again to the new one.

OpResult CheckMoved(Context& c, const MovedNode& item, bool back) {
    CatalogNode* node = c.catalog.NodeById(item.node);
    if (node == nullptr) {
        return Gone("node " + std::to_string(item.node));
    }
    CatalogNode* target = CatalogById(c.catalog, back ? item.oldParent : item.newParent);
    if (target == nullptr) {
        return Gone("catalog " + std::to_string(back ? item.oldParent : item.newParent));
    }
    if (OpResult marked = CheckMark(item.mark, node->Path()); !marked.done) {
        return marked;
    }
    return CheckMove(c.catalog, c.home, *node, target, c.program);
}

OpResult ApplyMoved(Context& c, MovedNode& item, bool back) {
    CatalogNode* node = c.catalog.NodeById(item.node);
    CatalogNode* target = CatalogById(c.catalog, back ? item.oldParent : item.newParent);
    OpResult result = MoveNodeOperation(c.catalog, c.home, *node, target, c.program);
    if (result.done) {
        item.mark = MarkOf(node->Path());
    }
    return result;
}

// --- deletes: a restore from the trash to undo, a delete into it again to redo.

OpResult CheckRestore(Context& c, std::int64_t entryId, const FileMark& mark) {
    const std::optional<TrashEntry> entry = ReadTrashEntry(entryId);
    if (!entry) {
        return Gone("trash entry " + std::to_string(entryId));
    }
    CatalogNode* parent = CatalogById(c.catalog, entry->parentId);
    if (parent == nullptr) {
        return Gone("catalog " + std::to_string(entry->parentId));
    }
    if (parent->AnyChildNamed(entry->onDisk, [](const CatalogNode&) { return true; })) {
        return OpResult::Refused(entry->fileType == kCatalogType ? text::kCatalogNameTaken : text::kFileNameTaken,
                                 entry->onDisk + " is taken in its old catalog");
    }
    if (entry->files) {
        if (OpResult marked = CheckMark(mark, TrashItemPath(c.home, *entry)); !marked.done) {
            return marked;
        }
        const std::string target = JoinNodePath(parent->Path(), entry->onDisk);
        if (MarkOf(target).present) {
            return OpResult::Refused(text::kRestorePlaceTaken, target);
        }
    }
    return OpResult::Done();
}

// Restores `entryId`; on success *node is the node back and *mark its file or folder.
OpResult ApplyRestore(Context& c, std::int64_t entryId, NodeId* node, FileMark* mark) {
    CatalogNode* restored = nullptr;
    OpResult result = RestoreFromTrashOperation(c.catalog, c.home, entryId, nullptr, &restored);
    if (result.done && restored != nullptr) {
        *node = restored->FileId();
        *mark = MarkOf(restored->Path());
    }
    return result;
}

OpResult CheckTrash(Context& c, NodeId id, const FileMark& mark) {
    const CatalogNode* node = c.catalog.NodeById(id);
    if (node == nullptr || node->Parent() == nullptr) {
        return Gone("node " + std::to_string(id));
    }
    return CheckMark(mark, node->Path());
}

// Deletes `id` into the trash; on success *entryId is its entry and *mark its place there.
OpResult ApplyTrash(Context& c, NodeId id, bool withFiles, std::int64_t* entryId, FileMark* mark) {
    std::int64_t entry = 0;
    OpResult result =
        DeleteToTrashOperation(c.catalog, c.home, *c.catalog.NodeById(id), withFiles, c.program, &entry);
    if (result.done) {
        *entryId = entry;
        const std::string place = TrashPlaceOf(c.home, entry);
        *mark = place.empty() ? FileMark{} : MarkOf(place);
    }
    return result;
}

// --- edits: the other name and comment written.

OpResult CheckEdited(Context& c, const EditedNode& item, bool) {
    const CatalogNode* node = c.catalog.NodeById(item.node);
    if (node == nullptr) {
        return Gone("node " + std::to_string(item.node));
    }
    return CheckMark(item.mark, node->Path());
}

OpResult ApplyEdited(Context& c, EditedNode& item, bool back) {
    CatalogNode* node = c.catalog.NodeById(item.node);
    OpResult result = EditNodeOperation(c.catalog, c.home, *node, back ? item.oldName : item.newName,
                                        back ? item.oldComment : item.newComment, c.program);
    if (result.done) {
        item.mark = MarkOf(node->Path());
    }
    return result;
}

// Every item checked, then every item acted on: the last first when going back. The items acted
// on move to *done; a failure leaves the rest in `items`.
template <class Item, class Check, class Apply>
OpResult RunItems(std::vector<Item>& items, std::vector<Item>& done, bool back, Check&& check, Apply&& apply) {
    for (const Item& item : items) {
        if (OpResult checked = check(item); !checked.done) {
            return checked;
        }
    }
    OpResult last = OpResult::Done();
    while (!items.empty()) {
        Item item = back ? items.back() : items.front();
        OpResult result = apply(item);
        if (!result.done) {
            return result;
        }
        if (result.message != 0) {
            last = result; // done, with something to tell (files kept, ...)
        }
        if (back) {
            items.pop_back();
            done.insert(done.begin(), std::move(item));
        } else {
            items.erase(items.begin());
            done.push_back(std::move(item));
        }
    }
    return last;
}

// Runs `step` back (an undo) or forward (a redo); what was acted on is moved into *done.
OpResult RunStep(Context& c, UndoStep& step, UndoStep& done, bool back) {
    switch (step.kind) {
    case UndoKind::kMove:
        return RunItems(
            step.moved, done.moved, back, [&](const MovedNode& item) { return CheckMoved(c, item, back); },
            [&](MovedNode& item) { return ApplyMoved(c, item, back); });
    case UndoKind::kRename:
    case UndoKind::kEditComment:
        return RunItems(
            step.edited, done.edited, back, [&](const EditedNode& item) { return CheckEdited(c, item, back); },
            [&](EditedNode& item) { return ApplyEdited(c, item, back); });
    case UndoKind::kDelete:
        return RunItems(
            step.trashed, done.trashed, back,
            [&](const TrashedNode& item) {
                return back ? CheckRestore(c, item.entry, item.mark) : CheckTrash(c, item.node, item.mark);
            },
            [&](TrashedNode& item) {
                return back ? ApplyRestore(c, item.entry, &item.node, &item.mark)
                            : ApplyTrash(c, item.node, step.withFiles, &item.entry, &item.mark);
            });
    case UndoKind::kAddCatalog:
    case UndoKind::kAddDocument:
    case UndoKind::kDrop:
    case UndoKind::kImport:
        // What was added goes into the trash with its files, restorable from there; a redo
        // restores it.
        return RunItems(
            step.added, done.added, back,
            [&](const AddedNode& item) {
                return back ? CheckTrash(c, item.node, item.mark) : CheckRestore(c, item.entry, item.mark);
            },
            [&](AddedNode& item) {
                return back ? ApplyTrash(c, item.node, true, &item.entry, &item.mark)
                            : ApplyRestore(c, item.entry, &item.node, &item.mark);
            });
    case UndoKind::kRepair:
        break;
    }
    return OpResult::Refused(text::kCannotUndoRepair, "a repair has no inverse");
}

bool HasNodes(const UndoStep& step) {
    return !step.moved.empty() || !step.trashed.empty() || !step.added.empty() || !step.edited.empty();
}

// A step that names no node is not recorded; a barrier names none and is one.
bool IsEmpty(const UndoStep& step) {
    return step.kind != UndoKind::kRepair && !HasNodes(step);
}

std::string NameOf(const CatalogModel& catalog, NodeId id) {
    const CatalogNode* node = catalog.NodeById(id);
    return node != nullptr ? node->Details().fileName : std::string();
}

} // namespace

FileMark MarkOf(const std::string& path) {
    FileMark mark;
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        return mark;
    }
    mark.present = true;
    mark.folder = S_ISDIR(st.st_mode);
    mark.device = static_cast<std::uint64_t>(st.st_dev);
    mark.inode = static_cast<std::uint64_t>(st.st_ino);
    mark.size = static_cast<std::int64_t>(st.st_size);
    mark.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return mark;
}

bool StillTheSame(const FileMark& recorded, const FileMark& now) {
    if (!recorded.present) {
        return true;
    }
    if (!now.present || now.folder != recorded.folder || now.device != recorded.device ||
        now.inode != recorded.inode) {
        return false;
    }
    return recorded.folder || (now.size == recorded.size && now.modifiedNs == recorded.modifiedNs);
}

UndoStep MoveStep(const CatalogModel& catalog, const std::vector<std::pair<NodeId, NodeId>>& nodeAndOldParent) {
    UndoStep step;
    step.kind = UndoKind::kMove;
    for (const auto& [id, oldParent] : nodeAndOldParent) {
        if (const CatalogNode* node = catalog.NodeById(id)) {
            step.moved.push_back({id, oldParent, IdOfCatalog(node->Parent()), MarkOf(node->Path())});
        }
    }
    if (!step.moved.empty()) {
        step.name = NameOf(catalog, step.moved.front().node);
    }
    return step;
}

UndoStep DeleteStep(const std::string& home, const std::vector<std::int64_t>& entries, bool withFiles) {
    UndoStep step;
    step.kind = UndoKind::kDelete;
    step.withFiles = withFiles;
    for (const std::int64_t id : entries) {
        const std::optional<TrashEntry> entry = ReadTrashEntry(id);
        if (!entry) {
            continue;
        }
        if (step.trashed.empty()) {
            step.name = entry->name;
        }
        step.trashed.push_back({id, entry->nodeId, entry->files ? MarkOf(TrashItemPath(home, *entry)) : FileMark{}});
    }
    return step;
}

UndoStep AddStep(UndoKind kind, const CatalogModel& catalog, const std::vector<NodeId>& added) {
    UndoStep step;
    step.kind = kind;
    for (const NodeId id : added) {
        if (const CatalogNode* node = catalog.NodeById(id)) {
            step.added.push_back({id, 0, MarkOf(node->Path())});
        }
    }
    if (!step.added.empty()) {
        step.name = NameOf(catalog, step.added.front().node);
    }
    return step;
}

UndoStep EditStep(const CatalogModel& catalog, NodeId id, std::string oldName, std::string oldComment) {
    UndoStep step;
    const CatalogNode* node = catalog.NodeById(id);
    if (node == nullptr) {
        return step;
    }
    const NodeDetails& now = node->Details();
    step.kind = now.fileName != oldName ? UndoKind::kRename : UndoKind::kEditComment;
    if (now.fileName == oldName && now.comment == oldComment) {
        return step; // nothing changed: nothing to record
    }
    step.name = now.fileName;
    step.edited.push_back({id, std::move(oldName), std::move(oldComment), now.fileName, now.comment,
                           node->IsCatalog() ? MarkOf(node->Path()) : FileMark{}});
    return step;
}

UndoStep BarrierStep(UndoKind kind) {
    UndoStep step;
    step.kind = kind;
    return step;
}

NodeId LastNodeId() {
    const NodeId id = GetMaxFileId();
    return id < 0 ? 0 : id;
}

std::vector<NodeId> AddedSince(const CatalogModel& catalog, NodeId before) {
    std::vector<NodeId> tops;
    const NodeId last = LastNodeId();
    for (NodeId id = before + 1; id <= last; ++id) {
        const CatalogNode* node = catalog.NodeById(id);
        if (node == nullptr) {
            continue;
        }
        const CatalogNode* parent = node->Parent();
        if (parent == nullptr || parent->Parent() == nullptr || parent->FileId() <= before) {
            tops.push_back(id);
        }
    }
    return tops;
}

void UndoHistory::Record(UndoStep step) {
    if (IsEmpty(step)) {
        return;
    }
    m_undone.clear();
    m_done.push_back(std::move(step));
    while (m_done.size() > m_limit) {
        m_done.pop_front();
    }
}

OpResult UndoHistory::Undo(CatalogModel& catalog, const std::string& home, const ProgramFiles& program) {
    if (m_done.empty()) {
        return OpResult::Refused(text::kNothingToUndo, "nothing to undo");
    }
    return Run(m_done, m_undone, true, catalog, home, program);
}

OpResult UndoHistory::Redo(CatalogModel& catalog, const std::string& home, const ProgramFiles& program) {
    if (m_undone.empty()) {
        return OpResult::Refused(text::kNothingToRedo, "nothing to redo");
    }
    return Run(m_undone, m_done, false, catalog, home, program);
}

OpResult UndoHistory::Run(std::deque<UndoStep>& from, std::deque<UndoStep>& to, bool back, CatalogModel& catalog,
                          const std::string& home, const ProgramFiles& program) {
    UndoStep& step = from.back();
    UndoStep done = step;
    done.moved.clear();
    done.trashed.clear();
    done.added.clear();
    done.edited.clear();
    Context context{catalog, home, program};
    OpResult result = RunStep(context, step, done, back);
    // What was acted on can go the other way now; what was not stays where it was.
    if (HasNodes(done)) {
        to.push_back(std::move(done));
        while (to.size() > m_limit) {
            to.pop_front();
        }
    }
    if (IsEmpty(step)) {
        from.pop_back();
    }
    return result;
}

} // namespace mwdx
