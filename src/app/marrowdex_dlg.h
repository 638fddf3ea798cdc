#pragma once

// The main window: the four buttons, the catalog tree and the comment pane. It owns the catalog
// for as long as the program runs and holds one handler for each button, menu command and
// tree notification.

#include "catalog/model.h"
#include "catalog/search.h"
#include "operations/program_files.h"
#include "operations/recovery.h"

#include <QDialog>
#include <QModelIndex>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace mwdx {

class CatalogTreeModel;
class CTreeCtrlEx;

// The context menu's commands.
inline constexpr int kCmdAddSubCatalog = 32782;
inline constexpr int kCmdAddNeighbourCatalog = 32784;
inline constexpr int kCmdAddDocumentHere = 32785;
inline constexpr int kCmdDeleteNode = 32786;
inline constexpr int kCmdEditNode = 32787;
inline constexpr int kCmdAddDocumentToRoot = 32788;
inline constexpr int kCmdImportFolder = 32789;
inline constexpr int kCmdOpenNode = 32800;
inline constexpr int kCmdShowInFolder = 32801;
inline constexpr int kCmdMoveNodeTo = 32802;

inline constexpr int kStartupDelayMs = 1000;

class CMarrowdexDlg final : public QDialog {
    Q_OBJECT

public:
    // `programDirectory` is the folder that holds mymwdx.db, js/ and the help pages: the
    // running program's own folder, or a test's.
    explicit CMarrowdexDlg(std::string programDirectory, QWidget* parent = nullptr);
    ~CMarrowdexDlg() override;

    // Tree view operations. An invalid index stands for the top level. The view follows the
    // catalog's changes by itself.
    QModelIndex GetSelectedItem() const;
    QModelIndex GetParentItem(const QModelIndex& item) const;
    QModelIndex GetRootItem() const;
    CatalogNode* ItemNode(const QModelIndex& item) const;
    // The item of a node; invalid when it is not shown (a catalog above it is closed, or a search
    // leaves it out).
    QModelIndex ItemOf(const CatalogNode* node) const;
    // The item of a node, the catalogs above it opened first (invalid only when a search leaves
    // it out).
    QModelIndex ShowItem(const CatalogNode* node);
    void SelectItem(const QModelIndex& item);
    void ExpandItem(const QModelIndex& item);
    void SetCommentText(std::string_view comment);

    CatalogModel& Catalog() { return m_catalog; }

    // The Home Directory the commands work in: the Root Node's path, or the Settings' while there
    // is no Root Node yet.
    std::string HomeDirectory() const;

    // The program's own files: its folder, and mymwdx.db there with SQLite's files beside it.
    ProgramFiles OwnFiles() const;

    // 0 when the knowledge base was opened; otherwise the message that ends the program before
    // anything is shown (another window has it, it is locked, it is not a knowledge base, ...).
    int StartRefusal() const { return m_startRefusal; }

    // Rows of the store that could not be placed in the tree at the last load.
    std::size_t UnplacedEntries() const { return m_unplacedEntries; }

    // From now on SIGTERM, SIGINT and SIGHUP close the window as the user would (RequestQuit).
    void QuitOnSignals();

    // Ends the window as closing it does, once the command under way has ended: a dialog that
    // asks something is cancelled, a running transfer is let finish (or roll back) first.
    void RequestQuit();

    // When another program changed the store since the tree was loaded: says so, loads the tree
    // again and returns true; the command that asks must then stop. False when nothing changed.
    bool ReloadIfChangedElsewhere();

    // Loads the tree again from the store (after a repair), the view following.
    void ReloadTree();
    // While work on another thread changes the catalog, the view lets go of it; AttachTree (or
    // ReloadTree) shows it again, from the top.
    void DetachTree();
    void AttachTree();
    const std::string& ProgramFolder() const { return m_programDirectory; }

    // Handlers.
    void OnTimer();
    void OnOpenConfig();
    void OnOption();
    void OnTreeRightClick(const QPoint& position, bool byKeyboard = false); // position: in the tree's viewport
    void OnTreeSelect();
    void OnCommand(int commandId);
    void AddSubCatalog();
    void AddNeighbourCatalog();
    void AddDocumentHere();
    void AddDocumentToRoot();
    void EditSelectedNode();
    void DeleteSelectedNode();
    void SyncIndex();
    void OpenIndex();
    void OpenHelp();
    void OnCheck();
    void ImportFolder();
    void OpenSelectedNode();
    void ShowSelectedInFolder();
    void MoveSelectedNodeTo();
    void OnTreeEnter(const QModelIndex& item);
    void OnTreeDoubleClick(const QModelIndex& item);
    // A node dragged onto `target` (invalid: the top level; a document: its catalog).
    void OnNodeDropped(std::int64_t fileId, const QModelIndex& target);
    // Files and folders dropped in from outside onto `target`, as above.
    void OnFilesDropped(const QStringList& paths, const QModelIndex& target);

    // Find: the search field's text filters the tree; Escape in it restores the tree.
    void FocusSearch();
    void OnSearchTextChanged();
    void ClearSearch();
    // True while the tree shows a search's matches (or is still finding them).
    bool Searching() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void LayOut();
    void LoadTree();
    void FinishQuit();
    void InstallShortcuts();
    void FilterSlice();
    const CatalogNode* SelectedOrBefore() const;
    void MoveNodeInto(CatalogNode& node, CatalogNode* target);
    // The nodes with these FILE_IDs that the catalog still holds.
    std::vector<const CatalogNode*> NodesOf(const std::vector<NodeId>& ids) const;

    std::string m_programDirectory;
    CatalogModel m_catalog;
    CatalogTreeModel* m_treeModel;
    QPushButton* m_optionButton;
    QPushButton* m_openIndexButton;
    QPushButton* m_syncIndexButton;
    QPushButton* m_helpButton;
    QPushButton* m_checkButton;
    CTreeCtrlEx* m_tree;
    QLineEdit* m_searchEdit;
    QLabel* m_matchCount;
    // A search under way, a slice at a time, and the tree as it was before the search.
    struct SearchState {
        bool active = false;
        std::string folded;
        std::size_t nextPlace = 0;
        std::uint64_t generation = 0;
        std::optional<ShownTreeBuilder> shown;    // the matches so far, with their catalogs
        std::vector<NodeId> expandedBefore; // FILE_IDs
        std::int64_t selectedBefore = -1;
        int scrollBefore = 0;
    };
    SearchState m_search;
    QTimer m_filterTimer;
    QPlainTextEdit* m_commentPane;
    QTimer m_startupTimer;
    QTimer m_quitTimer;
    int m_startRefusal = 0;
    std::size_t m_unplacedEntries = 0;
    bool m_menuBelowItems = false; // the tree's menu was opened below its last item
    RecoveryReport m_recovery;     // told once, at start
};

} // namespace mwdx
