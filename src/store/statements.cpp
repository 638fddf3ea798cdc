#include "store/statements.h"

namespace mwdx {
namespace {

// Values end at their first NUL, as a C string does.
std::string_view AsCString(std::string_view text) {
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

void AppendLiteralBody(std::string& out, std::string_view text) {
    for (const char c : AsCString(text)) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
}

} // namespace

std::string EscapeSqlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendLiteralBody(out, text);
    return out;
}

std::string InsertNodeStatement(std::string_view name, std::int64_t parentId, std::string_view comment,
                                std::int32_t fileType, std::string_view rawFileName, std::int32_t pathLevel) {
    std::string s;
    s.reserve(128 + name.size() + comment.size() + rawFileName.size());
    s += "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) Values('";
    AppendLiteralBody(s, name);
    s += "',";
    s += std::to_string(parentId);
    s += ",'";
    AppendLiteralBody(s, comment);
    s += "',";
    s += std::to_string(fileType);
    s += ",'";
    AppendLiteralBody(s, rawFileName);
    s += "',";
    s += std::to_string(pathLevel);
    s += ");";
    return s;
}

std::string UpdateRootDirStatement(std::string_view rootDir) {
    std::string s = "UPDATE SYS_CONFIG SET ROOT_DIR='";
    AppendLiteralBody(s, rootDir);
    s += "';";
    return s;
}

std::string DeleteNodeStatement(std::int64_t fileId) {
    return "delete from FILE_NODE where FILE_ID = " + std::to_string(fileId) + " ;";
}

std::string UpdateNodeStatement(std::string_view name, std::string_view comment, std::int64_t fileId) {
    std::string s;
    s.reserve(64 + name.size() + comment.size());
    s += "Update FILE_NODE set FILE_NAME='";
    AppendLiteralBody(s, name);
    s += "',COMMENT='";
    AppendLiteralBody(s, comment);
    s += "' where FILE_ID=";
    s += std::to_string(fileId);
    s += ';';
    return s;
}

std::string UpdateSettingsStatement(std::string_view rootDir, std::int32_t urlShortcut, std::int32_t deleteAfterAdding,
                                    std::int32_t deleteAfterNodeDelete) {
    std::string s;
    s.reserve(160 + rootDir.size());
    s += "update SYS_CONFIG set ROOT_DIR='";
    AppendLiteralBody(s, rootDir);
    s += "',FIRST_RUNNING=0,URL_SHORTCUT=";
    s += std::to_string(urlShortcut);
    s += ",DELDOC_AFTERADDING=";
    s += std::to_string(deleteAfterAdding);
    s += ",DELDOC_AFTERDELNODE=";
    s += std::to_string(deleteAfterNodeDelete);
    s += ';';
    return s;
}

std::string InsertSettingsStatement(std::string_view rootDir, std::int32_t urlShortcut, std::int32_t deleteAfterAdding,
                                    std::int32_t deleteAfterNodeDelete) {
    std::string s;
    s.reserve(160 + rootDir.size());
    s += "insert into SYS_CONFIG(ROOT_DIR,FIRST_RUNNING,URL_SHORTCUT,DELDOC_AFTERADDING,DELDOC_AFTERDELNODE) values('";
    AppendLiteralBody(s, rootDir);
    s += "',0,";
    s += std::to_string(urlShortcut);
    s += ',';
    s += std::to_string(deleteAfterAdding);
    s += ',';
    s += std::to_string(deleteAfterNodeDelete);
    s += ");";
    return s;
}

} // namespace mwdx
