#pragma once

// Refreshing the index page, as the Sync Index button does: the page written (the previous one
// kept as its backup), then its shortcut on the desktop when the option asks for one, then the
// page to open. No window is involved; the caller shows the message and opens the page.

#include "catalog/model.h"
#include "index/page_texts.h"

#include <string>

namespace mwdx {

struct IndexSyncResult {
    // 0; text::kPageNameTaken or text::kIndexFailed when the page was not written (the old page
    // and its backup are as they were); text::kShortcutNotMade when the page was written but its
    // shortcut could not be made.
    int message = 0;
    std::string pageToOpen; // the page, once written; empty when there is none to open
    std::string detail;     // English, for a log or a test
};

// Writes the page for `catalog` and the Settings' Home Directory with PageBackup::kPrevious. Then,
// with `shortcut` (URL_SHORTCUT), links it as marrowdex.lnk in `desktopFolder` (the desktop's
// folder, empty when the desktop has none: the shortcut then cannot be made either).
IndexSyncResult SyncIndexPage(const CatalogModel& catalog, const UiTextSource& texts, bool shortcut,
                              const std::string& desktopFolder);

} // namespace mwdx
