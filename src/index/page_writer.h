#pragma once

// The index page: the whole catalog tree as a static HTML page in the Home Directory, drawn in
// the browser by the tree-menu script in the Home Directory's js/ folder.
//
// The page is UTF-8 without a byte-order mark, every line ends in CR LF, and entries whose names
// and paths hold only ordinary characters come out exactly as the page has always been written.
// Other characters are escaped where they would break the page:
//  - names and paths in script strings: \ ' CR LF U+2028 U+2029 as script escapes, < and &
//    as character references (the tree-menu script inserts the text as markup);
//  - paths, which are links: % # ? " \ TAB CR LF percent-encoded first;
//  - the Home Directory in the heading's link: percent-encoded as a path, then HTML-escaped.

#include "catalog/model.h"
#include "index/page_output.h"
#include "index/page_texts.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mwdx {

inline constexpr std::string_view kIndexPageName = "mwdx_index.html";
inline constexpr std::string_view kIndexBackupSuffix = "_bak";

// The page's path in a Home Directory, and the path of its backup beside it.
std::string IndexPagePath(std::string_view homeDirectory);
std::string IndexBackupPath(std::string_view homeDirectory);

// The text with every backslash doubled, so that a script string reads back the text it was.
std::string EscapeBackslashes(std::string_view text);

// One entry: d.add(id,parentId,'name','path','','_blank'[,'js/img/folder.gif']); for a catalog
// (FILETYPE 0) with the folder icon, for anything else without.
void WriteNodeLine(PageOutput& out, std::int64_t id, std::int64_t parentId, std::string_view name,
                   std::string_view path, std::int32_t fileType);

// The entries of every node below `node`, each before its children, children in list order.
// Nothing for a missing node.
void WriteChildLines(PageOutput& out, const CatalogNode* node);

// The whole page text for a Home Directory and a tree (root may be null: an empty tree).
void WritePageText(PageOutput& out, std::string_view homeDirectory, const CatalogNode* root, const UiTextSource& texts);

enum class PageBackup {
    kNone,    // an existing page is replaced
    kPrevious // an existing page is first moved to the backup name, replacing an older backup
};

enum class PageWriteStatus {
    kWritten,
    kNoHomeDirectory, // the Settings hold no Home Directory, or one that is not usable
    kNotWritten,      // the page could not be written; the old page and backup are as they were
    kBackupFailed,    // the old page could not be moved aside; nothing was changed
    kNameTaken,       // a node's own file or folder has the page's name or the backup's; nothing was changed
};

struct PageWriteResult {
    PageWriteStatus status = PageWriteStatus::kWritten;
    std::string pagePath;
    std::string detail; // what failed, for the message; empty when written

    bool Ok() const { return status == PageWriteStatus::kWritten; }
};

// Writes the page for the current Settings' Home Directory and the model's tree. The page is
// written whole to a new file beside it and only then put in place, so a failure never leaves
// a partial page under the page's name; with kPrevious the old page moves to the backup name
// only once the new page is complete. What a node of the tree owns is never replaced: a node at
// the page's path or the backup's stops the writer before it writes anything.
PageWriteResult WriteIndexPage(const CatalogModel& model, const UiTextSource& texts,
                               PageBackup backup = PageBackup::kNone);

} // namespace mwdx
