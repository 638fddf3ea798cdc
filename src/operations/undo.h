#pragma once

// Undo and redo of the tree's commands for one session. A command that changed the tree records
// one step for the whole action (however many nodes it acted on); undoing a step puts every node
// back as it was, redoing it does the command again. Each undo and redo is made of the journalled
// operations the commands themselves use (a move, a delete into the trash, a restore from it, a
// rename), so a crash at any moment is finished or undone at the next start like any command.
// Nodes are named by FILE_ID, never by pointer: a step outlives a reload of the tree.
//
// Recording, for a command that acts on several nodes at once:
//     history.Record(MoveStep(catalog, home, {{node, oldParent}, ...}));   // after the moves
//     history.Record(DeleteStep(catalog, home, {entryId, ...}, withFiles)); // after the deletes
//     history.Record(AddStep(UndoKind::kDrop, catalog, home, AddedSince(catalog, before)));

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace mwdx {

// What a file or folder on disk was when a step was recorded, so that an undo can tell that it was
// changed outside the program since: the same inode on the same device, and for a file also the
// same size and time of change.
struct FileMark {
    bool present = false;
    bool folder = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
};

// The mark of `path` as it is now (lstat: a link is not followed). Nothing there: not present.
FileMark MarkOf(const std::string& path);

// True when `now` is still what `recorded` was. Nothing recorded (a node without its file) asks
// for nothing; a folder's content may change (the program adds to it), so only its identity counts.
bool StillTheSame(const FileMark& recorded, const FileMark& now);

// The command a step undoes; the menu names it (text::kUndoNameAddCatalog ...).
enum class UndoKind {
    kAddCatalog,
    kAddDocument,
    kDrop,
    kImport,
    kRename,
    kEditComment,
    kMove,
    kDelete,
    kRepair, // no sound inverse: a barrier that cannot be undone, nor passed
};

// A node a move took from `oldParent` to `newParent` (0: the top level); `mark` is its file or
// folder at the new place.
struct MovedNode {
    NodeId node = 0;
    NodeId oldParent = 0;
    NodeId newParent = 0;
    FileMark mark;
};

// A node deleted into the trash entry `entry`; `mark` is its file or folder in the trash.
struct TrashedNode {
    std::int64_t entry = 0;
    NodeId node = 0;
    FileMark mark;
};

// A node a command added (the top of what it added); `mark` is its file or folder. Once the add is
// undone, `entry` is the trash entry that holds it.
struct AddedNode {
    NodeId node = 0;
    std::int64_t entry = 0;
    FileMark mark;
};

// A node whose name or comment an edit changed; `mark` is a catalog's folder under the new name.
struct EditedNode {
    NodeId node = 0;
    std::string oldName;
    std::string oldComment;
    std::string newName;
    std::string newComment;
    FileMark mark;
};

struct UndoStep {
    UndoKind kind = UndoKind::kRepair;
    std::string name; // the (first) node's name, as the menu shows it: "Undo Move 'Physics'"
    bool withFiles = true; // a delete took the files with the rows
    std::vector<MovedNode> moved;
    std::vector<TrashedNode> trashed;
    std::vector<AddedNode> added;
    std::vector<EditedNode> edited;
};

// The step of a move just made: each moved node with the catalog it came from (0: the top level).
// Nodes no longer in `catalog` are left out.
UndoStep MoveStep(const CatalogModel& catalog, const std::vector<std::pair<NodeId, NodeId>>& nodeAndOldParent);

// The step of a delete into the trash just made: its entries (DeleteToTrashOperation's *entryId),
// `withFiles` as the delete was asked for.
UndoStep DeleteStep(const std::string& home, const std::vector<std::int64_t>& entries, bool withFiles);

// The step of an add, a drop or an import just made: the nodes it added, tops only (AddedSince).
UndoStep AddStep(UndoKind kind, const CatalogModel& catalog, const std::vector<NodeId>& added);

// The step of an edit just made of `node`, from `oldName` and `oldComment` as stored before: a
// rename (kRename) when the name changed, otherwise an edit of the comment.
UndoStep EditStep(const CatalogModel& catalog, NodeId node, std::string oldName, std::string oldComment);

// A command with no inverse (a repair): a barrier.
UndoStep BarrierStep(UndoKind kind);

// The largest FILE_ID given so far (0: none; ids only grow). Read it before a command that adds.
NodeId LastNodeId();

// The nodes with a FILE_ID above `before` whose parent is not one of them: the tops of what was
// added since LastNodeId() gave `before`, in the order added.
std::vector<NodeId> AddedSince(const CatalogModel& catalog, NodeId before);

// The session's history: at most `limit` steps back (the oldest dropped first); a new step clears
// what could be redone.
class UndoHistory final {
public:
    static constexpr std::size_t kDefaultLimit = 200;

    explicit UndoHistory(std::size_t limit = kDefaultLimit) : m_limit(limit == 0 ? 1 : limit) {}

    // Records a step of a command that took effect. A step with nothing in it is not recorded.
    void Record(UndoStep step);

    // The step Undo or Redo would act on; nullptr when there is none.
    const UndoStep* NextUndo() const { return m_done.empty() ? nullptr : &m_done.back(); }
    const UndoStep* NextRedo() const { return m_undone.empty() ? nullptr : &m_undone.back(); }
    std::size_t UndoCount() const { return m_done.size(); }
    std::size_t RedoCount() const { return m_undone.size(); }

    // Undoes the last step: every node put back, then the step can be redone. Refused with
    // nothing changed and the step kept where it is: nothing to undo (text::kNothingToUndo); a
    // barrier (text::kCannotUndoRepair); a node or the catalog it goes back to gone
    // (text::kUndoNodeGone); a file or folder changed outside since (text::kUndoFileChanged); its
    // place taken or another refusal of the operation it uses (that operation's message: for
    // example text::kCatalogNameTaken, text::kRestorePlaceTaken). Where several nodes are put back,
    // all are checked before the first is; should one still fail, the ones put back stay so and the
    // step keeps the rest to undo.
    OpResult Undo(CatalogModel& catalog, const std::string& home, const ProgramFiles& program = {});

    // Does the last undone step again, with the same checks and refusals as Undo
    // (text::kNothingToRedo when there is none).
    OpResult Redo(CatalogModel& catalog, const std::string& home, const ProgramFiles& program = {});

private:
    // Runs the last step of `from` back (an undo) or forward; what it acted on goes onto `to`.
    OpResult Run(std::deque<UndoStep>& from, std::deque<UndoStep>& to, bool back, CatalogModel& catalog,
                 const std::string& home, const ProgramFiles& program);

    std::size_t m_limit;
    std::deque<UndoStep> m_done;
    std::deque<UndoStep> m_undone;
};

} // namespace mwdx
