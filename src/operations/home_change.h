#pragma once

// Confirming the configuration: the chosen Home Directory checked, made and given the index page's
// script folder, the knowledge base moved over when the user asks, the settings row written once,
// and the tree's paths and the program's lock on its Home Directory following. The tree's Root
// Node is where the Home Directory is taken from (the Settings' only while the tree is empty).
//
// The window asks AskBeforeHomeChange, puts to the user what it says needs asking, then calls
// ChangeHomeDirectory with the answers (on a worker thread if it likes: the move may take long;
// the tree's view lets go of the catalog meanwhile) and shows the message it returns.

#include "catalog/model.h"
#include "operations/op_result.h"
#include "operations/program_files.h"

#include <cstddef>
#include <functional>
#include <string>

namespace mwdx {

// The three options, as their check boxes show them.
struct HomeOptions {
    bool desktopShortcut = false; // URL_SHORTCUT
    bool moveDocuments = false;   // DELDOC_AFTERADDING
    bool deleteFiles = false;     // DELDOC_AFTERDELNODE
};

// The user's answer to text::kHomeHoldsKnowledgeBase.
enum class KnowledgeBaseAnswer {
    kNotAsked,
    kMoveEverything, // text::kMoveEverything
    kTakeAsItIs,     // text::kUseNewFolderAsItIs: the user copied it over already
};

struct HomeChange {
    std::string chosen; // the folder as the chooser gave it (UTF-8)
    HomeOptions options;
    ProgramFiles program;                // its folder's js/ is what a new Home Directory receives
    bool holdingProgramAccepted = false; // the user said yes to text::kHomeHoldsProgram
    KnowledgeBaseAnswer knowledgeBase = KnowledgeBaseAnswer::kNotAsked;
    // Entries moved of the total, on the thread that calls ChangeHomeDirectory.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

struct HomeChangeQuestions {
    // Refused with nothing to ask, in this order: no folder chosen (text::kHomeDirectoryRequired), one that is not a
    // full normal path other than / (text::kHomeNotUsable), one too long for the settings row (text::kAddFailed), one
    // that another running program works on (text::kNewHomeInUse). Otherwise done.
    OpResult check = OpResult::Done();
    // A new Home Directory that holds the program's folder: ask text::kHomeHoldsProgram (yes/no).
    bool holdsProgram = false;
    // A new Home Directory while the old one holds the knowledge base (never on the first start):
    // ask text::kHomeHoldsKnowledgeBase with text::kMoveEverything, text::kUseNewFolderAsItIs and
    // Cancel.
    bool holdsKnowledgeBase = false;
};

// What must be put to the user before `change` can be made; changes nothing.
HomeChangeQuestions AskBeforeHomeChange(const CatalogModel& catalog, const HomeChange& change);

enum class HomeChangeStatus {
    kChanged,    // the new Home Directory and options are in effect (a message may still follow)
    kRefused,    // nothing changed and nothing was left behind; the window stays for another choice
    kUnanswered, // a question AskBeforeHomeChange names has no answer in `change`; nothing changed
    // The store cannot be written while a Home Directory must be chosen (the first start, or a
    // stored one that is not usable): the choice holds for this run and the next start asks again.
    // The window stays (to try again) but may now be left.
    kThisRunOnly,
};

struct HomeChangeResult {
    HomeChangeStatus status = HomeChangeStatus::kRefused;
    int message = 0;    // the string id to show; 0: nothing to say
    std::string detail; // English, for a log or a test
    std::string home;   // the Home Directory in effect afterwards
    // Taken as it is: what the new folder lacks is to be shown (the health check).
    bool showWhatIsMissing = false;
};

// Checks as AskBeforeHomeChange, then, in this order:
// - makes the folder with the folders above it (text::kAddFailed) and takes its lock (text::kNewHomeInUse);
// - copies the program's js/ in when the folder has none and the move will not bring one (text::kAddFailed);
// - with text::kMoveEverything: moves the knowledge base over as MoveHomeOperation does (its
//   refusals and failures: text::kHomeInsideOther, kHomeMoveFailed, kHomeMoveUnfinished, 196,
//   text::kCannotMoveProgramFiles, text::kChangeNotSaved), the settings row written with the move's end;
//   otherwise: writes the settings row (text::kChangeNotSaved; on the first start kThisRunOnly);
// - makes the values the program's Settings, moves the program's Home Directory lock to the new
//   folder and rehomes the tree (the move has done that already).
// A refusal or failure before the row is written removes what this change made (the folders, the
// js/ copy) and leaves the Settings, the tree and the lock as they were. ROOT_DIR is written once,
// the tree rehomed once.
HomeChangeResult ChangeHomeDirectory(CatalogModel& catalog, const HomeChange& change);

// True while the configuration may not be left without choosing a Home Directory: on the first
// start (FIRST_RUNNING 1), or while the Settings' Home Directory is not usable.
bool MustChooseHomeDirectory();

} // namespace mwdx
