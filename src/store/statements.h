#pragma once

// Every statement the program sends, composed in full whatever the length of its values.
// Text values go in as SQL string literals: single quotes around, every quote inside doubled.
// Values are C strings to the statement: anything after a NUL byte never reaches it.

#include <cstdint>
#include <string>
#include <string_view>

namespace mwdx {

// The settings row.
inline constexpr const char* kSelectSettings =
    "select ROOT_DIR,FIRST_RUNNING,URL_SHORTCUT,DELDOC_AFTERADDING,DELDOC_AFTERDELNODE from SYS_CONFIG;";
inline constexpr const char* kCountNodes = "select count(*) from FILE_NODE ;";
// Every node, ordered by its parent.
inline constexpr const char* kSelectNodes =
    "select FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL from FILE_NODE order by "
    "PARENT_ID asc ;";
inline constexpr const char* kSelectMaxFileId = "select MAX(FILE_ID) from FILE_NODE;";

// The quotes-doubled body of a literal, without the enclosing quotes.
std::string EscapeSqlText(std::string_view text);

// Adds one node row.
std::string InsertNodeStatement(std::string_view name, std::int64_t parentId, std::string_view comment,
                                std::int32_t fileType, std::string_view rawFileName, std::int32_t pathLevel);
// Removes one node row.
std::string DeleteNodeStatement(std::int64_t fileId);
// The same with the FILE_ID as a parameter, for a statement run again and again.
inline constexpr const char* kDeleteNodeById = "delete from FILE_NODE where FILE_ID = ? ;";
// A node's new name and comment.
std::string UpdateNodeStatement(std::string_view name, std::string_view comment, std::int64_t fileId);
// The confirmed settings: FIRST_RUNNING is always written as 0 once the configuration has been confirmed.
std::string UpdateSettingsStatement(std::string_view rootDir, std::int32_t urlShortcut, std::int32_t deleteAfterAdding,
                                    std::int32_t deleteAfterNodeDelete);
// Only the Home Directory of the settings row: what moving the knowledge base changes.
std::string UpdateRootDirStatement(std::string_view rootDir);

// The settings row with the same values as UpdateSettingsStatement, for a SYS_CONFIG that has lost its row.
std::string InsertSettingsStatement(std::string_view rootDir, std::int32_t urlShortcut, std::int32_t deleteAfterAdding,
                                    std::int32_t deleteAfterNodeDelete);

} // namespace mwdx
