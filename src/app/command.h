#pragma once

// The main window's commands: each button, menu item and tree notification is a small class of its
// own (src/commands), made once for the window and run by it. The window knows them only through
// this interface, so a new command is a new class and one line in the list that makes them
// (commands/command_list.h), never an edit of the window.

#include "catalog/node.h"

#include <QKeySequence>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mwdx {

class CMarrowdexDlg;

// The tree menu's commands and the buttons, by the ids the window has always given them.
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
inline constexpr int kCmdDropFiles = 32803; // files dropped onto the tree from outside
inline constexpr int kCmdTrash = 32804;     // the Trash window
inline constexpr int kCmdUndo = 32805;
inline constexpr int kCmdRedo = 32806;
inline constexpr int kCmdOption = 1000;
inline constexpr int kCmdOpenIndex = 1001;
inline constexpr int kCmdSyncIndex = 1002;
inline constexpr int kCmdHelp = 1005;
inline constexpr int kCmdCheck = 1006;

// How and on what a command was asked for.
struct Invocation {
    enum class From {
        kMenu,     // the tree's menu
        kKey,      // a key in the tree
        kButton,   // a button above the tree
        kActivate, // Enter or a double click on an item
        kDrop,     // something dropped onto the tree
        kWindow,   // the window itself (the first start asks for the Home Directory)
    };
    Invocation(From source = From::kMenu) : from(source) {} // NOLINT: {From::kKey} reads as it should

    From from;
    CatalogNode* target = nullptr; // the item activated or dropped onto (nullptr: none, the top level)
    NodeId droppedNode = 0;        // a node of the tree dropped onto `target` (the first, of several)
    std::vector<NodeId> droppedNodes;      // every node of the tree dropped onto `target`
    std::vector<std::string> droppedFiles; // local files dropped onto `target`, UTF-8
    bool belowItems = false;               // the menu was opened below the last item
};

// Where a command shows in the tree's menu.
struct MenuEntry {
    int place = 0;  // top to bottom, ascending
    int textId = 0; // its text
    QKeySequence key = {}; // shown beside it
    bool keyRunsIt = true; // the key runs it in the tree (Enter is the tree's own)
    bool separatorBefore = false;
    // The key runs it wherever the focus is in the window, not only in the tree.
    bool windowWide = false;
    QKeySequence otherKey = {}; // a second key that runs it, not shown
};

class Command {
public:
    virtual ~Command() = default;
    // The command's id: one of the kCmd values.
    virtual int Id() const = 0;
    // Its place in the tree's menu; nothing for a command that is not there.
    virtual std::optional<MenuEntry> Menu() const { return std::nullopt; }
    // The menu's text as it reads now, for a command whose text changes; nothing: its textId.
    virtual std::optional<QString> MenuText() const { return std::nullopt; }
    // Whether the menu offers it now.
    virtual bool Enabled() const { return true; }
    // Runs the command: asks what it needs, calls the core, shows the outcome.
    virtual void Run(const Invocation& invocation) = 0;
};

// Makes the window's commands, each working on `window`.
using CommandFactory = std::function<std::vector<std::unique_ptr<Command>>(CMarrowdexDlg& window)>;

} // namespace mwdx
