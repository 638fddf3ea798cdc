#include "commands/command_list.h"

#include "commands/add_catalog.h"
#include "commands/add_document.h"
#include "commands/delete_node.h"
#include "commands/drop_files.h"
#include "commands/edit_node.h"
#include "commands/health_check.h"
#include "commands/import_folder.h"
#include "commands/index_commands.h"
#include "commands/move_node.h"
#include "commands/open_node.h"
#include "commands/option.h"
#include "commands/trash.h"
#include "commands/undo.h"

namespace mwdx {

namespace {

template <class... Commands> std::vector<std::unique_ptr<Command>> Make(CMarrowdexDlg& window) {
    std::vector<std::unique_ptr<Command>> commands;
    (commands.push_back(std::make_unique<Commands>(window)), ...);
    return commands;
}

} // namespace

std::vector<std::unique_ptr<Command>> MakeCommands(CMarrowdexDlg& window) {
    return Make<AddSubCatalogCommand, AddNeighbourCatalogCommand, AddDocumentToRootCommand, AddDocumentHereCommand,
                EditNodeCommand, DeleteNodeCommand, OpenNodeCommand, ShowInFolderCommand, MoveNodeCommand,
                ImportFolderCommand, DropFilesCommand, OptionCommand, OpenIndexCommand, SyncIndexCommand,
                OpenHelpCommand, HealthCheckCommand, OpenTrashCommand, UndoCommand, RedoCommand>(window);
}

} // namespace mwdx
