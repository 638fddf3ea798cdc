#include "extract/extract.h"

#include <algorithm>
#include <cstring>
#include <expat.h>
#include <memory>
#include <string_view>
#include <vector>
#include <zip.h>

namespace mwdx {

namespace {

// Unpacked XML read from one file, at most: a small file that unpacks to more is a zip bomb.
constexpr zip_uint64_t kMaxUnpackedBytes = 512ull << 20;

enum class Dialect {
    kOpenDocument, // content.xml: every text inside office:body
    kWord,         // w:t in w:p
    kSheetStrings, // t in si
    kSheet,        // v of cells that are not shared strings, t of inline strings
    kSlide,        // a:t in a:p
};

struct XmlState {
    Dialect dialect;
    TextSink* sink;
    int collecting = 0;   // depth inside elements whose text is taken
    int bodyDepth = 0;    // OpenDocument: inside office:body
    bool sharedCell = false;
};

std::string_view LocalName(const XML_Char* name) {
    const std::string_view full(name);
    const std::size_t bar = full.rfind('|');
    return bar == std::string_view::npos ? full : full.substr(bar + 1);
}

const XML_Char* Attribute(const XML_Char** attributes, std::string_view local) {
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        if (LocalName(attributes[i]) == local) {
            return attributes[i + 1];
        }
    }
    return nullptr;
}

void XMLCALL Start(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& state = *static_cast<XmlState*>(data);
    const std::string_view local = LocalName(name);
    switch (state.dialect) {
    case Dialect::kOpenDocument:
        if (local == "body") {
            ++state.bodyDepth;
        } else if (state.bodyDepth > 0) {
            if (local == "tab") {
                state.sink->Append('\t');
            } else if (local == "s") {
                const XML_Char* count = Attribute(attributes, "c");
                const int spaces = count != nullptr ? std::clamp(std::atoi(count), 1, 64) : 1;
                state.sink->Append(std::string(static_cast<std::size_t>(spaces), ' '));
            } else if (local == "line-break") {
                state.sink->Append('\n');
            }
        }
        break;
    case Dialect::kWord:
        if (local == "t") {
            ++state.collecting;
        } else if (local == "tab") {
            state.sink->Append('\t');
        } else if (local == "br" || local == "cr") {
            state.sink->Append('\n');
        }
        break;
    case Dialect::kSheetStrings:
    case Dialect::kSlide:
        if (local == "t") {
            ++state.collecting;
        }
        break;
    case Dialect::kSheet:
        if (local == "c") {
            const XML_Char* type = Attribute(attributes, "t");
            state.sharedCell = type != nullptr && std::strcmp(type, "s") == 0;
        } else if ((local == "v" && !state.sharedCell) || local == "t") {
            ++state.collecting;
        }
        break;
    }
}

void XMLCALL End(void* data, const XML_Char* name) {
    auto& state = *static_cast<XmlState*>(data);
    const std::string_view local = LocalName(name);
    switch (state.dialect) {
    case Dialect::kOpenDocument:
        if (local == "body") {
            --state.bodyDepth;
        } else if (state.bodyDepth > 0) {
            if (local == "p" || local == "h") {
                state.sink->EndLine();
            } else if (local == "table-cell") {
                state.sink->Append('\t');
            }
        }
        break;
    case Dialect::kWord:
        if (local == "t") {
            --state.collecting;
        } else if (local == "p") {
            state.sink->EndLine();
        }
        break;
    case Dialect::kSheetStrings:
        if (local == "t") {
            --state.collecting;
        } else if (local == "si") {
            state.sink->EndLine();
        }
        break;
    case Dialect::kSlide:
        if (local == "t") {
            --state.collecting;
        } else if (local == "p") {
            state.sink->EndLine();
        }
        break;
    case Dialect::kSheet:
        if ((local == "v" && !state.sharedCell) || local == "t") {
            state.collecting = std::max(0, state.collecting - 1);
        } else if (local == "c") {
            state.sink->Append('\t');
        } else if (local == "row") {
            state.sink->EndLine();
        }
        break;
    }
}

void XMLCALL Characters(void* data, const XML_Char* text, int length) {
    auto& state = *static_cast<XmlState*>(data);
    if (state.collecting > 0 || (state.dialect == Dialect::kOpenDocument && state.bodyDepth > 0)) {
        state.sink->Append(std::string_view(text, static_cast<std::size_t>(length)));
    }
}

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

enum class EntryResult { kRead, kMissing, kEncrypted, kMalformed, kTooBig };

// Parses one entry of the archive, streaming, into the sink.
EntryResult ParseEntry(zip_t* archive, const char* name, Dialect dialect, TextSink& sink, zip_uint64_t& unpacked) {
    const zip_int64_t index = zip_name_locate(archive, name, 0);
    if (index < 0) {
        return EntryResult::kMissing;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) {
        return EntryResult::kMalformed;
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE) {
        return EntryResult::kEncrypted;
    }
    const std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        return EntryResult::kMalformed;
    }
    const std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreateNS(nullptr, '|'));
    if (!parser) {
        return EntryResult::kTooBig;
    }
    XmlState state{dialect, &sink};
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), Start, End);
    XML_SetCharacterDataHandler(parser.get(), Characters);
    std::vector<char> buffer(1 << 16);
    while (!sink.Full()) {
        const zip_int64_t got = zip_fread(file.get(), buffer.data(), buffer.size());
        if (got < 0) {
            return EntryResult::kMalformed;
        }
        unpacked += static_cast<zip_uint64_t>(got);
        if (unpacked > kMaxUnpackedBytes) {
            return EntryResult::kTooBig;
        }
        if (XML_Parse(parser.get(), buffer.data(), static_cast<int>(got), got == 0) != XML_STATUS_OK) {
            return EntryResult::kMalformed;
        }
        if (got == 0) {
            break;
        }
    }
    return EntryResult::kRead;
}

// The names of numbered entries ("ppt/slides/slide12.xml") in their numbers' order.
std::vector<std::string> NumberedEntries(zip_t* archive, std::string_view prefix, std::string_view suffix) {
    std::vector<std::pair<long, std::string>> found;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (raw == nullptr) {
            continue;
        }
        const std::string_view name(raw);
        if (name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix)) {
            const std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
            if (!middle.empty() && std::all_of(middle.begin(), middle.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                found.emplace_back(std::atol(std::string(middle).c_str()), std::string(name));
            }
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& entry : found) {
        names.push_back(std::move(entry.second));
    }
    return names;
}

bool ManifestSaysEncrypted(zip_t* archive) {
    const zip_int64_t index = zip_name_locate(archive, "META-INF/manifest.xml", 0);
    if (index < 0) {
        return false;
    }
    const std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        return false;
    }
    std::string manifest;
    char buffer[8192];
    zip_int64_t got;
    while (manifest.size() < (4u << 20) && (got = zip_fread(file.get(), buffer, sizeof buffer)) > 0) {
        manifest.append(buffer, static_cast<std::size_t>(got));
    }
    return manifest.find("encryption-data") != std::string::npos;
}

} // namespace

void ExtractZipOffice(const std::string& path, const ExtractionLimits& limits, bool ooxmlByName, Extraction& out) {
    int error = 0;
    const std::unique_ptr<zip_t, ZipCloser> archive(zip_open(path.c_str(), ZIP_RDONLY, &error));
    if (!archive) {
        out.reason = SkipReason::kMalformed;
        return;
    }
    struct Part {
        std::string name;
        Dialect dialect;
        bool required;
    };
    std::vector<Part> parts;
    if (zip_name_locate(archive.get(), "content.xml", 0) >= 0) {
        out.format = DocFormat::kOpenDocument;
        if (ManifestSaysEncrypted(archive.get())) {
            out.reason = SkipReason::kEncrypted;
            return;
        }
        parts.push_back({"content.xml", Dialect::kOpenDocument, true});
    } else if (zip_name_locate(archive.get(), "word/document.xml", 0) >= 0) {
        out.format = DocFormat::kOfficeOpenXml;
        parts.push_back({"word/document.xml", Dialect::kWord, true});
        for (const char* extra : {"word/footnotes.xml", "word/endnotes.xml"}) {
            parts.push_back({extra, Dialect::kWord, false});
        }
        for (std::string& name : NumberedEntries(archive.get(), "word/header", ".xml")) {
            parts.push_back({std::move(name), Dialect::kWord, false});
        }
        for (std::string& name : NumberedEntries(archive.get(), "word/footer", ".xml")) {
            parts.push_back({std::move(name), Dialect::kWord, false});
        }
    } else if (zip_name_locate(archive.get(), "xl/workbook.xml", 0) >= 0) {
        out.format = DocFormat::kOfficeOpenXml;
        parts.push_back({"xl/sharedStrings.xml", Dialect::kSheetStrings, false});
        for (std::string& name : NumberedEntries(archive.get(), "xl/worksheets/sheet", ".xml")) {
            parts.push_back({std::move(name), Dialect::kSheet, false});
        }
    } else if (zip_name_locate(archive.get(), "ppt/presentation.xml", 0) >= 0) {
        out.format = DocFormat::kOfficeOpenXml;
        for (std::string& name : NumberedEntries(archive.get(), "ppt/slides/slide", ".xml")) {
            parts.push_back({std::move(name), Dialect::kSlide, false});
        }
    } else {
        // A zip, but not one of the office files read here (or an office file missing its body).
        out.reason = ooxmlByName ? SkipReason::kMalformed : SkipReason::kUnknownType;
        return;
    }
    TextSink sink(limits.chars);
    zip_uint64_t unpacked = 0;
    for (const Part& part : parts) {
        if (sink.Full()) {
            break;
        }
        switch (ParseEntry(archive.get(), part.name.c_str(), part.dialect, sink, unpacked)) {
        case EntryResult::kRead:
            break;
        case EntryResult::kMissing:
            if (part.required) {
                out.reason = SkipReason::kMalformed;
                return;
            }
            break;
        case EntryResult::kEncrypted:
            out.reason = SkipReason::kEncrypted;
            return;
        case EntryResult::kMalformed:
            out.reason = SkipReason::kMalformed;
            return;
        case EntryResult::kTooBig:
            out.reason = SkipReason::kTooBig;
            out.text = std::move(sink.Text());
            return;
        }
        sink.EndLine();
    }
    out.text = std::move(sink.Text());
    if (sink.Full()) {
        out.reason = SkipReason::kTooBig;
    }
}

} // namespace mwdx
