#pragma once

// The main window: the buttons, the search field, the catalog tree and the comment pane. It owns
// the catalog for as long as the program runs, holds the commands (app/command.h) and runs the
// one that each button, menu item, key or tree notification asks for.

#include "app/command.h"
#include "catalog/model.h"
#include "operations/program_files.h"
#include "operations/recovery.h"
#include "operations/undo.h"

#include <QDialog>
#include <QModelIndex>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

namespace mwdx {

class CatalogFinder;
class CatalogTreeModel;
class ContentSearch;
class CTreeCtrlEx;
class StatusLine;
struct ContentHit;

inline constexpr int kStartupDelayMs = 1000;

class CMarrowdexDlg final : public QDialog {
    Q_OBJECT

public:
    // `programDirectory` is the folder that holds mymwdx.db, js/ and the help pages: the running
    // program's own folder, or a test's. `commands` makes the window's commands.
    CMarrowdexDlg(std::string programDirectory, const CommandFactory& commands, QWidget* parent = nullptr);
    ~CMarrowdexDlg() override;

    // Runs the command with this id (nothing for an id no command has).
    void OnCommand(int commandId, const Invocation& invocation = {});

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
    // Below the comment, where a search found the text in the document: the words around the
    // first place, the words found marked, and the page for a PDF.
    void AppendSnippet(const ContentHit& hit);

    // The node selected in the tree (of several, the current one); nullptr when none is.
    CatalogNode* SelectedNode() const { return ItemNode(GetSelectedItem()); }
    // Every node selected in the tree, top row first.
    std::vector<CatalogNode*> SelectedNodes() const;
    // Shows and selects `nodes` (those still in the tree), `current` the current one among them.
    void ShowAndSelect(const std::vector<CatalogNode*>& nodes, const CatalogNode* current);
    // Shows `node` (the catalogs above it opened), selects it and scrolls to it.
    void ShowAndSelect(const CatalogNode* node);

    CatalogModel& Catalog() { return m_catalog; }

    // The session's undo history: each command that changes the tree records its step here.
    UndoHistory& History() { return m_history; }

    // The Home Directory the commands work in: the Root Node's path, or the Settings' while there
    // is no Root Node yet.
    std::string HomeDirectory() const;

    // The program's own files: its folder, and mymwdx.db there with SQLite's files beside it.
    ProgramFiles OwnFiles() const;
    const std::string& ProgramFolder() const { return m_programDirectory; }

    // 0 when the knowledge base was opened; otherwise the message that ends the program before
    // anything is shown (another window has it, it is locked, it is not a knowledge base, ...).
    int StartRefusal() const { return m_startRefusal; }

    // Rows of the store that could not be placed in the tree at the last load.
    std::size_t UnplacedEntries() const { return m_unplacedEntries; }

    // From now on SIGTERM, SIGINT and SIGHUP close the window as the user would (RequestQuit).
    void QuitOnSignals();

    // Ends the window as closing it does, once the command under way has ended: a dialog that
    // asks something is cancelled, long work stops where it can, a running transfer is let
    // finish (or roll back) first.
    void RequestQuit();

    // When another program changed the store since the tree was loaded: says so, loads the tree
    // again and returns true; the command that asks must then stop. False when nothing changed.
    bool ReloadIfChangedElsewhere();

    // Loads the tree again from the store (after a repair), the view following; the catalogs open
    // before are open again, and the node selected before is selected again.
    void ReloadTree();
    // While work on another thread changes the catalog, the view lets go of it; AttachTree (or
    // ReloadTree) shows it again as it was: the same catalogs open, the same node selected.
    void DetachTree();
    void AttachTree();

    // Closing the window, however it is closed (Escape, Enter where nothing takes it, the close
    // box, a signal): where the user was is remembered for the next start.
    void done(int result) override;

    // Handlers of the window's own notifications.
    void OnTimer();
    void OnTreeRightClick(const QPoint& position, bool byKeyboard = false); // position: in the tree's viewport
    void OnTreeSelect();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void LayOut();
    // What the tree shows, by FILE_ID, to show again once the catalog is loaded anew.
    struct TreeState {
        std::vector<NodeId> open;
        NodeId selected = 0;
        int scroll = 0;
    };
    TreeState CaptureTree() const;
    void RestoreTree(const TreeState& state);
    // The tree scrolled to `scroll`, the selected node in view.
    void ScrollTree(int scroll);
    // Where the user was, remembered for the next start (window_memory.h), and brought back.
    void RememberWhereTheUserIs();
    TreeState RecallWhereTheUserWas();
    // The store's file, by which the window remembers its state.
    std::string StorePath() const { return m_programDirectory + "/mymwdx.db"; }
    void LoadTree(const TreeState& state);
    void FinishQuit();
    void InstallShortcuts();
    // The command of `node` dropped or activated as `from` says.
    void OnTreeActivated(const QModelIndex& item);
    void OnNodeDropped(const std::vector<std::int64_t>& fileIds, const QModelIndex& target);
    void OnFilesDropped(const QStringList& paths, const QModelIndex& target);
    void StartContentSearch();
    void OnIndexStatus();
    void OnSnippet(std::uint64_t ticket, NodeId id, const std::optional<ContentHit>& hit);

    std::string m_programDirectory;
    CatalogModel m_catalog;
    UndoHistory m_history;
    CatalogTreeModel* m_treeModel;
    QPushButton* m_optionButton;
    QPushButton* m_openIndexButton;
    QPushButton* m_syncIndexButton;
    QPushButton* m_helpButton;
    QPushButton* m_checkButton;
    StatusLine* m_indexStatus; // how far the indexing is
    QLabel* m_selectionStatus; // how many nodes are selected, when several are
    CTreeCtrlEx* m_tree;
    QLineEdit* m_searchEdit;
    QLabel* m_matchCount;
    QPlainTextEdit* m_commentPane;
    QSplitter* m_splitter; // between the tree (with the search field) and the comment pane
    CatalogFinder* m_finder;
    std::unique_ptr<ContentSearch> m_content; // from a start that was not refused
    std::uint64_t m_snippetTicket = 0;        // the snippet asked for the node selected last
    std::vector<std::unique_ptr<Command>> m_commands;
    TreeState m_detached;              // what the tree showed when the view let go of it
    std::optional<int> m_scrollOnShow; // the remembered scroll, once the tree has its size
    QTimer m_startupTimer;
    QTimer m_quitTimer;
    int m_startRefusal = 0;
    std::size_t m_unplacedEntries = 0;
    RecoveryReport m_recovery; // told once, at start
};

} // namespace mwdx
