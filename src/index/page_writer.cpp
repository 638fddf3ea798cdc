#include "index/page_writer.h"

#include "catalog/disk_rules.h"
#include "catalog/paths.h"
#include "platform/home_fs.h"
#include "platform/text.h"
#include "store/settings.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace mwdx {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The UTF-8 forms of U+2028 and U+2029: line terminators inside a script string.
constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";

using ByteSet = std::array<bool, 256>;

constexpr ByteSet MakeByteSet(std::string_view bytes) {
    ByteSet set{};
    for (const char c : bytes) {
        set[static_cast<unsigned char>(c)] = true;
    }
    return set;
}

// Bytes that a script string, or the markup the tree-menu script makes of it, would read as
// something other than themselves. 0xE2 leads U+2028 and U+2029, and also many ordinary
// characters, which the slow path then copies unchanged.
constexpr ByteSet kScriptSpecial = MakeByteSet("\\'\r\n<&\xE2");

// Bytes a link would misread: a query, a fragment, an escape, the end of the attribute, or a
// separator (browsers read '\' in a file URL as '/' and drop tabs and line breaks).
constexpr ByteSet kLinkSpecial = MakeByteSet("%#?\"\\\r\n\t");

// Either of the two: a path with none of these goes into its script string unchanged.
constexpr ByteSet kPathSpecial = MakeByteSet("\\'\r\n<&\xE2%#?\"\t");

bool ContainsAny(const ByteSet& set, std::string_view text) {
    for (const char c : text) {
        if (set[static_cast<unsigned char>(c)]) {
            return true;
        }
    }
    return false;
}

// ContainsAny(kPathSpecial, text), sixteen bytes at a time where the processor allows: every
// path of the page is looked at, and this is most of the writer's own work.
bool ContainsPathSpecial(std::string_view text) {
#ifdef __SSE2__
    constexpr std::string_view kBytes = "\\'\r\n<&\xE2%#?\"\t";
    static_assert(kBytes.size() == 12);
    std::size_t i = 0;
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        __m128i hits = _mm_setzero_si128();
        for (const char special : kBytes) {
            hits = _mm_or_si128(hits, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(special)));
        }
        if (_mm_movemask_epi8(hits) != 0) {
            return true;
        }
    }
    return ContainsAny(kPathSpecial, text.substr(i));
#else
    return ContainsAny(kPathSpecial, text);
#endif
}

// Text inside a single-quoted script string whose value the tree-menu script inserts as markup:
// backslashes doubled, quotes and line terminators escaped for the script, and '<' and '&' as
// character references, so the entry shows the text literally and no text can end the string,
// end the script or open a tag.
void AppendEscapedScriptText(PageOutput& out, std::string_view text) {
    const std::string doubled = EscapeBackslashes(text);
    std::string escaped;
    escaped.reserve(doubled.size() + 16);
    for (std::size_t i = 0; i < doubled.size(); ++i) {
        const std::string_view rest = std::string_view(doubled).substr(i);
        switch (doubled[i]) {
        case '\'':
            escaped += "\\'";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '&':
            escaped += "&amp;";
            break;
        default:
            if (rest.starts_with(kLineSeparator) || rest.starts_with(kParagraphSeparator)) {
                escaped += rest[2] == kLineSeparator[2] ? "\\u2028" : "\\u2029";
                i += 2;
            } else {
                escaped += doubled[i];
            }
        }
    }
    out.Append(escaped);
}

void AppendScriptText(PageOutput& out, std::string_view text) {
    if (ContainsAny(kScriptSpecial, text)) {
        AppendEscapedScriptText(out, text);
    } else {
        out.Append(text);
    }
}

// A path as a link: the bytes of kLinkSpecial percent-encoded, so the link leads to the file
// of exactly that name.
std::string LinkPath(std::string_view path) {
    std::string encoded;
    encoded.reserve(path.size() + 16);
    for (const char c : path) {
        if (kLinkSpecial[static_cast<unsigned char>(c)]) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            encoded += hex;
        } else {
            encoded += c;
        }
    }
    return encoded;
}

// A path inside a script string, as a link. `plain` says the caller knows it has no byte of
// kPathSpecial.
void AppendScriptLink(PageOutput& out, std::string_view path, bool plain) {
    if (plain) {
        out.Append(path);
    } else {
        AppendScriptText(out, LinkPath(path));
    }
}

void AppendHtmlText(PageOutput& out, std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    out.Append(escaped);
}

void AppendInteger(PageOutput& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.Append(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void AppendLine(PageOutput& out, std::string_view line) {
    out.Append(line);
    out.Append(kLineEnd);
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

// A new file beside the page, under a name no other writer uses; created with the usual mode
// (0666 less the umask), as the page itself would be.
int CreateTemporaryPage(const std::string& homeDirectory, std::string* path) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        *path = homeDirectory + "/." + std::string(kIndexPageName) + "." + suffix;
        const int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

void WriteEntry(PageOutput& out, std::int64_t id, std::int64_t parentId, std::string_view name, std::string_view path,
                bool plainPath, std::int32_t fileType) {
    out.Append("d.add(");
    AppendInteger(out, id);
    out.Append(",");
    AppendInteger(out, parentId);
    out.Append(",'");
    AppendScriptText(out, name);
    out.Append("','");
    AppendScriptLink(out, path, plainPath);
    out.Append(fileType == kCatalogType ? "','','_blank','js/img/folder.gif');\r\n" : "','','_blank');\r\n");
}

} // namespace

std::string IndexPagePath(std::string_view homeDirectory) {
    return JoinNodePath(homeDirectory, kIndexPageName);
}

std::string IndexBackupPath(std::string_view homeDirectory) {
    return IndexPagePath(homeDirectory) + std::string(kIndexBackupSuffix);
}

std::string EscapeBackslashes(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\\') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

void WriteNodeLine(PageOutput& out, std::int64_t id, std::int64_t parentId, std::string_view name,
                   std::string_view path, std::int32_t fileType) {
    WriteEntry(out, id, parentId, name, path, !ContainsPathSpecial(path), fileType);
}

void WriteChildLines(PageOutput& out, const CatalogNode* node) {
    if (node == nullptr) {
        return;
    }
    // Whether the path of the node at each depth of the walk is plain. A child's path is its
    // parent's path and a name, so only the name needs looking at, and the walk follows the
    // links instead of recursing.
    std::vector<char> plainAt{!ContainsPathSpecial(node->Path())};
    std::size_t depth = 1;
    for (const CatalogNode* child = node->FirstChild(); child != nullptr;) {
        const std::string& path = child->Path();
        const std::string_view parentPath = child->Parent()->Path();
        bool plain;
        if (path.size() > parentPath.size() && std::string_view(path).starts_with(parentPath)) {
            plain = plainAt[depth - 1] != 0 && !ContainsPathSpecial(std::string_view(path).substr(parentPath.size()));
        } else {
            plain = !ContainsPathSpecial(path);
        }
        if (plainAt.size() <= depth) {
            plainAt.resize(depth + 1);
        }
        plainAt[depth] = plain;
        const NodeDetails& details = child->Details();
        WriteEntry(out, details.fileId, details.parentId, details.fileName, path, plain, child->FileType());

        if (child->FirstChild() != nullptr) {
            child = child->FirstChild();
            ++depth;
            continue;
        }
        while (child != node && child->NextSibling() == nullptr) {
            child = child->Parent();
            --depth;
        }
        child = child == node ? nullptr : child->NextSibling();
    }
}

void WritePageText(PageOutput& out, std::string_view homeDirectory, const CatalogNode* root,
                   const UiTextSource& texts) {
    const std::string title = ToStoreText(texts.Text(kPageTitleTextId));
    const std::string expandAll = ToStoreText(texts.Text(kPageExpandAllTextId));
    const std::string closeAll = ToStoreText(texts.Text(kPageCloseAllTextId));

    AppendLine(out, R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Strict//EN" )"
                    R"("http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd">)");
    AppendLine(out, "<html>");
    AppendLine(out, "<head>");
    // Names are UTF-8. Undeclared, a browser guesses from the first bytes it reads, and a page
    // whose first names are ASCII comes out as Latin-1 when it arrives in small pieces.
    AppendLine(out, R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8" />)");
    out.Append("<title>");
    out.Append(title);
    AppendLine(out, "</title>");
    AppendLine(out, R"(<link rel="StyleSheet" href="js/dtree.css" type="text/css" />)");
    AppendLine(out, R"(<script type="text/javascript" src="js/dtree.js"></script>)");
    AppendLine(out, "</head>");
    AppendLine(out, "<body>");
    out.Append(R"(<h1><a href="file://)");
    AppendHtmlText(out, LinkPath(homeDirectory));
    out.Append(R"(">)");
    out.Append(title);
    AppendLine(out, "</a></h1>");
    AppendLine(out, R"(<div class="dtree">)");
    out.Append(R"(<p><a href="javascript: d.openAll();">)");
    out.Append(expandAll);
    out.Append(R"(</a> | <a href="javascript: d.closeAll();">)");
    out.Append(closeAll);
    AppendLine(out, "</a></p>");
    AppendLine(out, R"(<script type="text/javascript">)");
    AppendLine(out, "<!--");
    AppendLine(out, "d = new dTree('d');");
    WriteNodeLine(out, 0, -1, title, homeDirectory, kCatalogType);
    WriteChildLines(out, root);
    AppendLine(out, "document.write(d);");
    AppendLine(out, " //-->");
    AppendLine(out, "</script>");
    AppendLine(out, "</div>");
    AppendLine(out, "</body>");
    AppendLine(out, "</html>");
}

PageWriteResult WriteIndexPage(const CatalogModel& model, const UiTextSource& texts, PageBackup backup) {
    const SettingsRecord settings = SettingsCopy();
    const std::string homeDirectory(RootDirOf(settings));
    PageWriteResult result;
    result.pagePath = IndexPagePath(homeDirectory);
    // Without a Home Directory the page would land in the file system's root; with a relative one,
    // in the working folder.
    if (!IsUsableHomeDirectory(homeDirectory)) {
        result.status = PageWriteStatus::kNoHomeDirectory;
        result.detail = homeDirectory.empty() ? "no Home Directory is set"
                                              : "the Home Directory " + homeDirectory + " is not usable";
        return result;
    }
    for (const std::string& path : {result.pagePath, IndexBackupPath(homeDirectory)}) {
        if (OtherNodeLivesAt(model, nullptr, path)) {
            result.status = PageWriteStatus::kNameTaken;
            result.detail = path + " belongs to a catalog or document";
            return result;
        }
    }

    std::string temporaryPath;
    const int fd = CreateTemporaryPage(homeDirectory, &temporaryPath);
    if (fd < 0) {
        result.status = PageWriteStatus::kNotWritten;
        result.detail = "cannot create a file in " + homeDirectory + ": " + ErrorText(errno);
        return result;
    }
    PageOutput out(fd);
    WritePageText(out, homeDirectory, model.RootNode(), texts);
    out.Flush();
    int error = out.Error();
    // On disk before it takes the page's name, as every file the program publishes: after a crash
    // the name holds the old page or the whole new one, never an empty file.
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporaryPath.c_str());
        result.status = PageWriteStatus::kNotWritten;
        result.detail = "cannot write " + temporaryPath + ": " + ErrorText(error);
        return result;
    }

    const std::string backupPath = IndexBackupPath(homeDirectory);
    bool movedAside = false;
    struct stat existing {};
    if (backup == PageBackup::kPrevious && ::lstat(result.pagePath.c_str(), &existing) == 0) {
        if (::rename(result.pagePath.c_str(), backupPath.c_str()) != 0) {
            error = errno;
            ::unlink(temporaryPath.c_str());
            result.status = PageWriteStatus::kBackupFailed;
            result.detail = "cannot move " + result.pagePath + " to " + backupPath + ": " + ErrorText(error);
            return result;
        }
        movedAside = true;
    }
    if (::rename(temporaryPath.c_str(), result.pagePath.c_str()) != 0) {
        error = errno;
        ::unlink(temporaryPath.c_str());
        if (movedAside) {
            // Put the previous page back where it was; the older backup it replaced is gone.
            ::rename(backupPath.c_str(), result.pagePath.c_str());
        }
        result.status = PageWriteStatus::kNotWritten;
        result.detail = "cannot put the page in place as " + result.pagePath + ": " + ErrorText(error);
        return result;
    }
    // The new names on disk too.
    const int folder = ::open(homeDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::fsync(folder) != 0) {
        error = errno;
        result.status = PageWriteStatus::kNotWritten;
        result.detail = "cannot save the folder " + homeDirectory + ": " + ErrorText(error);
    }
    if (folder >= 0) {
        ::close(folder);
    }
    return result;
}

} // namespace mwdx
