#include "index/index_sync.h"

#include "index/page_writer.h"
#include "platform/file_ops.h"
#include "platform/text_ids.h"

namespace mwdx {

IndexSyncResult SyncIndexPage(const CatalogModel& catalog, const UiTextSource& texts, bool shortcut,
                              const std::string& desktopFolder) {
    IndexSyncResult result;
    // The new page is complete before the old one becomes the backup, so any failure leaves both
    // as they were; it is reported rather than a page that is out of date opened.
    const PageWriteResult written = WriteIndexPage(catalog, texts, PageBackup::kPrevious);
    if (!written.Ok()) {
        result.message = written.status == PageWriteStatus::kNameTaken ? text::kPageNameTaken : text::kIndexFailed;
        result.detail = written.detail;
        return result;
    }
    if (shortcut) {
        const std::string link = desktopFolder + "/marrowdex.lnk";
        if (desktopFolder.empty()) {
            result.message = text::kShortcutNotMade;
            result.detail = "there is no desktop folder";
        } else if (!CreateDesktopShortcut(written.pagePath, link)) {
            result.message = text::kShortcutNotMade;
            result.detail = "cannot make " + link;
        }
    }
    if (PathExists(written.pagePath)) {
        result.pageToOpen = written.pagePath;
    }
    return result;
}

} // namespace mwdx
