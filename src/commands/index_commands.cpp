#include "commands/index_commands.h"

#include "app/cpu_state.h"
#include "app/marrowdex_dlg.h"
#include "app/prompts.h"
#include "app/shell.h"
#include "index/index_sync.h"
#include "index/page_writer.h"
#include "platform/file_ops.h"
#include "platform/string_table.h"
#include "platform/text_ids.h"
#include "store/settings.h"

namespace mwdx {

void SyncIndexCommand::SyncIndex() {
    // The new page is complete before the old one becomes the backup, so any failure leaves both
    // as they were; it is reported rather than opening a page that is out of date.
    ClearUpperVectorState();
    const IndexSyncResult synced =
        SyncIndexPage(m_window.Catalog(), UiStrings(), SettingsCopy().urlShortcut == 1, DesktopFolder());
    if (synced.message != 0) {
        MessagePrompt::Show(&m_window, synced.message);
    }
    if (!synced.pageToOpen.empty() && PathExists(synced.pageToOpen)) {
        OpenWithDesktop(synced.pageToOpen);
    }
}

void OpenIndexCommand::OpenIndex() {
    const std::string home(RootDirOf(SettingsCopy()));
    const std::string page = IndexPagePath(home);
    if (home.empty() || !PathExists(page)) {
        m_window.OnCommand(kCmdSyncIndex, {Invocation::From::kButton});
        return;
    }
    OpenWithDesktop(page);
}

void OpenHelpCommand::OpenHelp() {
    OpenWithDesktop(m_window.ProgramFolder() + (UseEnglish() == 1 ? "/ehelp.html" : "/chelp.html"));
}

} // namespace mwdx
