#include "operations/home_change.h"

#include "catalog/paths.h"
#include "operations/home_move.h"
#include "operations/steps.h"
#include "platform/home_fs.h"
#include "platform/instance_lock.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/store_session.h"

#include <algorithm>

namespace mwdx {
namespace {

HomeChangeResult Result(HomeChangeStatus status, int message, std::string detail, std::string home = {}) {
    return {status, message, std::move(detail), std::move(home), false};
}

// Where the knowledge base lives now: the tree's Root Node, or the Settings' while the tree is empty.
std::string CurrentHome(const CatalogModel& catalog) {
    if (const CatalogNode* root = catalog.RootNode()) {
        return root->Path();
    }
    return std::string(RootDirOf(SettingsCopy()));
}

// What this change made on disk, taken away again when it fails before the row is written.
class MadeHere final {
public:
    explicit MadeHere(const std::string& home) : m_tree(home) {}

    MadeDirectories folders;
    std::string scriptCopy; // the js/ folder copied in, when one was

    void Undo() {
        std::string ignored;
        if (!scriptCopy.empty()) {
            m_tree.DiscardPath(scriptCopy, &ignored);
        }
        m_tree.RemoveMadeDirectories(folders);
    }

private:
    HomeTree m_tree;
};

} // namespace

HomeChangeQuestions AskBeforeHomeChange(const CatalogModel& catalog, const HomeChange& change) {
    HomeChangeQuestions questions;
    if (change.chosen.empty()) {
        questions.check = OpResult::Refused(text::kHomeDirectoryRequired, "no folder chosen");
        return questions;
    }
    const std::string home = HomeDirectoryOf(change.chosen);
    if (home.empty()) {
        questions.check = OpResult::Refused(text::kHomeNotUsable, change.chosen + " is not a full, normal path");
        return questions;
    }
    // A path longer than the settings row holds would be stored cut, naming another folder.
    if (home.size() >= sizeof(SettingsRecord::rootDir)) {
        questions.check = OpResult::Refused(text::kAddFailed, "the path is longer than the settings row holds");
        return questions;
    }
    // Another program working there would delete what this one adds. A folder that is not there
    // yet is locked once it is made.
    InstanceLock probe;
    if (WhatIsAt(home) != PathKind::kNothing && TakeHomeLock(home, probe) == LockResult::kHeldByOther) {
        questions.check = OpResult::Refused(text::kNewHomeInUse, home + " is another program's Home Directory");
        return questions;
    }
    const std::string oldHome = CurrentHome(catalog);
    const bool moved = LexicallyNormal(oldHome) != home;
    // The program and its store among the documents: allowed, but only when the user says so.
    questions.holdsProgram = moved && HoldsProgramFolder(home, change.program.folder);
    // The first start has no knowledge base to move yet.
    questions.holdsKnowledgeBase = moved && SettingsCopy().firstRunning != 1 && IsUsableHomeDirectory(oldHome) &&
                                   !KnowledgeBaseEntries(catalog, oldHome).empty();
    return questions;
}

HomeChangeResult ChangeHomeDirectory(CatalogModel& catalog, const HomeChange& change) {
    const HomeChangeQuestions questions = AskBeforeHomeChange(catalog, change);
    if (!questions.check.done) {
        return Result(HomeChangeStatus::kRefused, questions.check.message, questions.check.detail);
    }
    if ((questions.holdsProgram && !change.holdingProgramAccepted) ||
        (questions.holdsKnowledgeBase && change.knowledgeBase == KnowledgeBaseAnswer::kNotAsked)) {
        return Result(HomeChangeStatus::kUnanswered, 0, "a question about the new Home Directory has no answer");
    }
    const std::string home = HomeDirectoryOf(change.chosen);
    const std::string oldHome = CurrentHome(catalog);
    const bool moveAll = questions.holdsKnowledgeBase && change.knowledgeBase == KnowledgeBaseAnswer::kMoveEverything;

    const HomeTree tree(home);
    MadeHere made(home);
    std::string error;
    if (!tree.MakeDirectoryPath(home, &made.folders, &error)) {
        return Result(HomeChangeStatus::kRefused, text::kAddFailed, error);
    }
    InstanceLock homeLock;
    if (TakeHomeLock(home, homeLock) == LockResult::kHeldByOther) {
        made.Undo();
        return Result(HomeChangeStatus::kRefused, text::kNewHomeInUse, home + " is another program's Home Directory");
    }
    // The index page loads its script from the Home Directory; whatever is there already stays, and
    // a move that brings the old one needs no copy (it would find the name taken).
    const std::string script = JoinNodePath(home, "js");
    if (WhatIsAt(script) == PathKind::kNothing) {
        const std::vector<std::string> moving =
            moveAll ? EntriesToMove(catalog, oldHome, change.program) : std::vector<std::string>();
        if (std::find(moving.begin(), moving.end(), "js") == moving.end()) {
            if (!tree.CopyFolderInto(JoinNodePath(change.program.folder, "js"), home, &error)) {
                made.Undo();
                return Result(HomeChangeStatus::kRefused, text::kAddFailed, error);
            }
            made.scriptCopy = script;
        }
    }

    SettingsRecord values{};
    SetRootDir(values, home);
    values.firstRunning = 0;
    values.urlShortcut = change.options.desktopShortcut ? 1 : 0;
    values.deleteAfterAdding = change.options.moveDocuments ? 1 : 0;
    values.deleteAfterNodeDelete = change.options.deleteFiles ? 1 : 0;

    HomeChangeResult result = Result(HomeChangeStatus::kChanged, 0, {}, home);
    if (moveAll) {
        HomeMoveControl control;
        control.progress = change.progress;
        control.program = change.program;
        control.settings = &values;
        // The move writes the row with its end and takes the tree along.
        const OpResult moved = MoveHomeOperation(catalog, oldHome, home, control);
        if (!moved.done) {
            made.Undo();
            return Result(HomeChangeStatus::kRefused, moved.message, moved.detail);
        }
        // A row the store did not take (text::kChangeNotSaved): the files and the tree are in the new place, and
        // the next start writes ROOT_DIR from the journal.
        result.message = moved.message;
        result.detail = moved.detail;
    } else if (const int saved = SaveSettingsRow(values); saved != kStatementOk) {
        if (!MustChooseHomeDirectory()) {
            made.Undo();
            return Result(HomeChangeStatus::kRefused, text::kChangeNotSaved,
                          "the settings row cannot be written (" + std::to_string(saved) + ")");
        }
        // A store that cannot be written must not trap the user on the first start: the choice
        // holds for this run, and the next start asks again.
        result.status = HomeChangeStatus::kThisRunOnly;
        result.message = text::kChangeNotSaved;
        result.detail = "the settings row cannot be written (" + std::to_string(saved) + ")";
    }
    ReplaceSettings(values);
    KeepHomeLock(std::move(homeLock)); // the lock follows the Home Directory
    // No mixed state until a restart: new catalogs go into the new folder from now on.
    if (const CatalogNode* root = catalog.RootNode(); root != nullptr && root->Path() != home) {
        RehomeCatalog(catalog, home);
    }
    result.showWhatIsMissing = questions.holdsKnowledgeBase && change.knowledgeBase == KnowledgeBaseAnswer::kTakeAsItIs;
    return result;
}

bool MustChooseHomeDirectory() {
    const SettingsRecord settings = SettingsCopy();
    return settings.firstRunning == 1 || !IsUsableHomeDirectory(RootDirOf(settings));
}

} // namespace mwdx
