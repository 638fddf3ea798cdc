#pragma once

// String ids of the program's texts (the string table holds each in English and Chinese).

namespace mwdx::text {

inline constexpr int kOption = 132;
inline constexpr int kAddSubCatalog = 133;
inline constexpr int kChooseHomeDirectory = 134;
inline constexpr int kDesktopShortcutOption = 135;
inline constexpr int kConfigurationCaption = 136;
inline constexpr int kOk = 137;
inline constexpr int kCancel = 138;
inline constexpr int kNewCatalogLabel = 139;
inline constexpr int kTypeCatalogName = 140;
inline constexpr int kNoCatalogUnderDocument = 141;
inline constexpr int kAddFailed = 142;
inline constexpr int kComment = 143;
inline constexpr int kAddNeighbourCatalog = 144;
inline constexpr int kAddDocumentHere = 145;
inline constexpr int kCatalogDialogCaption = 146;
inline constexpr int kMoveDocumentsOption = 147;
inline constexpr int kChooseDocumentLabel = 148;
inline constexpr int kDocumentDialogCaption = 149;
inline constexpr int kChooseDocument = 150;
inline constexpr int kTransferInProgress = 151;
inline constexpr int kDelete = 152;
inline constexpr int kSelectToDelete = 153;
inline constexpr int kCaution = 154;
inline constexpr int kConfirmDelete = 155;
inline constexpr int kDocumentWord = 156;
inline constexpr int kCatalogWord = 157;
inline constexpr int kTypeDocumentName = 158;
inline constexpr int kUpdate = 159;
inline constexpr int kProgramTitle = 160;
inline constexpr int kAddDocumentToRoot = 161;
inline constexpr int kOpenIndex = 162;
inline constexpr int kSyncIndex = 163;
inline constexpr int kIndexFailed = 164;
inline constexpr int kExpandAll = 165;
inline constexpr int kCloseAll = 166;
inline constexpr int kDeleteFilesOption = 167;
inline constexpr int kHelp = 169;
inline constexpr int kHomeDirectoryRequired = 177;
inline constexpr int kCatalogNameTaken = 178;
inline constexpr int kNameNotUsable = 179;
inline constexpr int kRenameFailed = 180;
inline constexpr int kFileNameTaken = 181;
inline constexpr int kTransferFailed = 182;
inline constexpr int kChangeNotSaved = 183;
inline constexpr int kSomeFilesNotDeleted = 184;
inline constexpr int kFilesKept = 185;
inline constexpr int kStoreInUse = 190;
inline constexpr int kStoreBusy = 191;
inline constexpr int kNotAStore = 192;
inline constexpr int kStoreCannotOpen = 193;
inline constexpr int kEntriesNotShown = 194; // followed by the number of entries
inline constexpr int kStoreChangedElsewhere = 195;
inline constexpr int kNameTakenOnDisk = 196;
inline constexpr int kSourceBelongsToStore = 197;
inline constexpr int kCommandFinished = 198;   // followed by the paths concerned, a line each
inline constexpr int kCommandUndone = 199;     // the same
inline constexpr int kCommandUnresolved = 210; // the same
inline constexpr int kOpen = 220;
inline constexpr int kShowInFolder = 221;
inline constexpr int kMoveTo = 222;
inline constexpr int kNotFoundOnDisk = 223; // followed by the path
inline constexpr int kMoveDialogCaption = 224;
inline constexpr int kChooseTargetCatalog = 225;
inline constexpr int kTopLevel = 226;
inline constexpr int kDropDialogCaption = 227;
inline constexpr int kFilesDoneOfTotal = 228; // %1 of %2 files
inline constexpr int kBytesDoneOfTotal = 229; // %1 of %2 (sizes)
inline constexpr int kMoveIntoItself = 230;
// The health check's kinds of findings, in the order of FindingKind up to its script folder (the
// kinds after it have ids of their own), and its verdicts.
inline constexpr int kFindingsFirst = 250;
inline constexpr int kCheckHealthy = 259;
inline constexpr int kCheckFindings = 260;
inline constexpr int kRecoveredCatalog = 261; // the catalog that takes rows that could not be placed
inline constexpr int kMoveFailed = 231;
// The health check's window, importing folders and moving to a new Home Directory.
inline constexpr int kCheck = 262;
inline constexpr int kCheckCaption = 263;
inline constexpr int kImportInPlace = 264;
inline constexpr int kAttachUnderRecovered = 265;
inline constexpr int kRemoveEntries = 266;
inline constexpr int kRewriteLevels = 267;
inline constexpr int kLocate = 268;
inline constexpr int kFinishOrUndo = 269;
inline constexpr int kCopyScriptFiles = 270;
inline constexpr int kCheckAgain = 271;
inline constexpr int kClose = 272;
inline constexpr int kImportFolder = 273;
inline constexpr int kImportInProgress = 274;
inline constexpr int kEntriesSkipped = 275; // followed by the number of entries
inline constexpr int kImportCancelled = 276;
inline constexpr int kHomeHoldsKnowledgeBase = 277;
inline constexpr int kMoveEverything = 278;
inline constexpr int kUseNewFolderAsItIs = 279;
inline constexpr int kHomeMoveInProgress = 280;
inline constexpr int kHomeMoveFailed = 281;
inline constexpr int kHomeMoveUnfinished = 282;
inline constexpr int kHomeInsideOther = 283;
inline constexpr int kConfirmRemoveRows = 284;  // followed by the number of entries
inline constexpr int kConfirmRemoveNodes = 285; // the same
inline constexpr int kLastCheckFound = 286;     // followed by the number of problems
inline constexpr int kPointToCheck = 287;
inline constexpr int kCheckInProgress = 288;
inline constexpr int kRemoveInProgress = 289;
inline constexpr int kSomeFilesNotAdded = 232; // followed by each file and why, a line each
inline constexpr int kDropCancelled = 233;
inline constexpr int kSelectNodeFirst = 234;
inline constexpr int kFolderNotImported = 235; // a folder's import added nothing
inline constexpr int kFindPlaceholder = 236;
// Journal entries that do not fit the knowledge base: never carried out, told at start, shown by
// the check and discarded there.
inline constexpr int kCommandsRefused = 300; // followed by the paths concerned, a line each
inline constexpr int kRefusedEntries = 301;  // the check's kind of finding
inline constexpr int kDiscard = 302;
inline constexpr int kConfirmDiscard = 303; // followed by the number of records
// The program's own files, names that cannot round-trip, and the Home Directory's rules.
inline constexpr int kNameNotUtf8 = 325;
inline constexpr int kSkippedNotUtf8 = 326;       // why an entry was skipped, after its path
inline constexpr int kSkippedNotPlain = 327;      // the same
inline constexpr int kSkippedNameNotUsable = 328; // the same
inline constexpr int kSkippedProgramFile = 329;   // the same
inline constexpr int kSkippedUnreadable = 330;    // the same
inline constexpr int kHoldsProgramFiles = 331;
inline constexpr int kFilesKeptForProgram = 332;
inline constexpr int kCannotMoveProgramFiles = 333;
inline constexpr int kHomeHoldsProgram = 334;
inline constexpr int kPageNameTaken = 335;
inline constexpr int kHomeInUse = 336;
inline constexpr int kNewHomeInUse = 337;
inline constexpr int kHomeNotUsable = 338;         // followed by the value, when there is one
inline constexpr int kFindingsHomeDirectory = 339; // the check's kind for an unusable Home Directory
// Long work behind a progress window, and what a refresh of the index page could not do.
inline constexpr int kShortcutNotMade = 350;
inline constexpr int kDeletingFiles = 351;
inline constexpr int kMoreFindings = 352; // %1: how many findings of the kind are not listed
// Daily use: a rename onto a folder that no catalog uses is the user's to allow.
inline constexpr int kUseUntrackedFolder = 420; // %1: the folder's name
// The trash: its window, its questions, and what its commands report.
inline constexpr int kTrashMenu = 450;
inline constexpr int kTrashCaption = 451;
inline constexpr int kTrashColumnName = 452;
inline constexpr int kTrashColumnDeleted = 453;
inline constexpr int kTrashColumnFrom = 454;
inline constexpr int kRestore = 455;
inline constexpr int kDeleteForGood = 456;
inline constexpr int kEmptyTrash = 457;
inline constexpr int kConfirmDeleteForGood = 458; // %1: the entry's name
inline constexpr int kConfirmEmptyTrash = 459;    // %1: how many entries, %2: the size they take
inline constexpr int kTrashIsEmpty = 460;
inline constexpr int kChooseRestoreCatalog = 461;
inline constexpr int kRestorePlaceTaken = 462; // followed by the place
inline constexpr int kTrashFilesMissing = 463;
inline constexpr int kCannotMoveToTrash = 464;
inline constexpr int kTrashOtherFileSystem = 465;
inline constexpr int kTrashNotAFolder = 466;
inline constexpr int kTrashEntryGone = 467;
inline constexpr int kEmptyingTrash = 468;
inline constexpr int kMeasuringTrash = 469;
inline constexpr int kFindingsTrash = 470; // the check's kind for a damaged trash
inline constexpr int kRestoreFailed = 471;
inline constexpr int kRestoreCaption = 472;
inline constexpr int kTrashExplanation = 473;
inline constexpr int kDeletingForGood = 474;

} // namespace mwdx::text
