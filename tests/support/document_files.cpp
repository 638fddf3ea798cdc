#include "support/document_files.h"

#include <cstdio>
#include <stdexcept>
#include <set>
#include <zip.h>

namespace mwdx::test {

namespace {

std::u32string Decode(const std::string& utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        out.push_back(c);
        i += length;
    }
    return out;
}

std::string Hex4(char32_t c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(c));
    return buffer;
}

// A page's content stream: each line at its own height, runs of ASCII in /F1, the rest in /F2.
std::string PageContent(const std::string& text, std::set<char32_t>& used) {
    std::string content;
    double y = 760;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::u32string line = Decode(text.substr(start, end - start));
        content += "BT 1 0 0 1 40 " + std::to_string(static_cast<int>(y)) + " Tm\n";
        std::size_t i = 0;
        while (i < line.size()) {
            const bool ascii = line[i] < 0x80;
            std::size_t j = i;
            while (j < line.size() && (line[j] < 0x80) == ascii) {
                ++j;
            }
            if (ascii) {
                content += "/F1 10 Tf (";
                for (std::size_t k = i; k < j; ++k) {
                    const char c = static_cast<char>(line[k]);
                    if (c == '(' || c == ')' || c == '\\') {
                        content.push_back('\\');
                    }
                    content.push_back(c);
                }
                content += ") Tj\n";
            } else {
                content += "/F2 10 Tf <";
                for (std::size_t k = i; k < j; ++k) {
                    content += Hex4(line[k]);
                    used.insert(line[k]);
                }
                content += "> Tj\n";
            }
            i = j;
        }
        content += "ET\n";
        y -= 14;
        if (y < 40) {
            y = 760;
        }
        start = end + 1;
    }
    return content;
}

} // namespace

std::string PdfBytes(const std::vector<std::string>& pages) {
    std::set<char32_t> used;
    std::vector<std::string> contents;
    for (const std::string& page : pages) {
        contents.push_back(page.empty() ? std::string("0 0 1 rg 100 100 300 300 re f\n") : PageContent(page, used));
    }
    // Objects: 1 catalog, 2 pages, 3 Helvetica, 4 the CID font, 5 its descendant, 6 ToUnicode,
    // then a page and its content for each page.
    std::vector<std::string> objects;
    std::string kids;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        kids += std::to_string(7 + 2 * i) + " 0 R ";
    }
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    objects.push_back("<< /Type /Font /Subtype /Type0 /BaseFont /SimSun /Encoding /Identity-H /DescendantFonts [5 0 R] "
                      "/ToUnicode 6 0 R >>");
    objects.push_back("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /SimSun /CIDSystemInfo << /Registry (Adobe) "
                      "/Ordering (Identity) /Supplement 0 >> /DW 1000 >>");
    std::string cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n"
                       "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";
    std::vector<char32_t> chars(used.begin(), used.end());
    for (std::size_t i = 0; i < chars.size(); i += 100) {
        const std::size_t count = std::min<std::size_t>(100, chars.size() - i);
        cmap += std::to_string(count) + " beginbfchar\n";
        for (std::size_t k = i; k < i + count; ++k) {
            cmap += "<" + Hex4(chars[k]) + "> <" + Hex4(chars[k]) + ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap CMapName currentdict /CMap defineresource pop end end\n";
    objects.push_back("<< /Length " + std::to_string(cmap.size()) + " >>\nstream\n" + cmap + "endstream");
    for (std::size_t i = 0; i < pages.size(); ++i) {
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R "
                          "/F2 4 0 R >> >> /Contents " +
                          std::to_string(8 + 2 * i) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(contents[i].size()) + " >>\nstream\n" + contents[i] +
                          "endstream");
    }
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

void WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        throw std::runtime_error("cannot make the zip archive " + path);
    }
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        if (source == nullptr || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            throw std::runtime_error("cannot add " + name + " to " + path);
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        throw std::runtime_error("cannot write the zip archive " + path);
    }
}

namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '<') {
            out += "&lt;";
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

void WriteOdt(const std::string& path, const std::string& text) {
    std::string body;
    for (const std::string& line : Lines(text)) {
        body += "<text:p text:style-name=\"Standard\">" + Escaped(line) + "</text:p>";
    }
    WriteZip(path,
             {{"mimetype", "application/vnd.oasis.opendocument.text"},
              {"META-INF/manifest.xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest:manifest "
               "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\"><manifest:file-entry "
               "manifest:full-path=\"/\" manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
               "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
               "</manifest:manifest>"},
              {"content.xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
               "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
               "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:automatic-styles/>"
               "<office:body><office:text>" +
                   body + "</office:text></office:body></office:document-content>"}});
}

void WriteDocx(const std::string& path, const std::string& text) {
    std::string body;
    for (const std::string& line : Lines(text)) {
        body += "<w:p><w:r><w:t xml:space=\"preserve\">" + Escaped(line) + "</w:t></w:r></w:p>";
    }
    WriteZip(path, {{"[Content_Types].xml",
                     "<?xml version=\"1.0\"?><Types "
                     "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Override "
                     "PartName=\"/word/document.xml\" "
                     "ContentType=\"application/"
                     "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
                    {"word/document.xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:document "
                     "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
                         body + "</w:body></w:document>"}});
}

void WriteXlsx(const std::string& path, const std::vector<std::string>& cells) {
    std::string strings;
    std::string row;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        strings += "<si><t>" + Escaped(cells[i]) + "</t></si>";
        row += "<c r=\"A" + std::to_string(i + 1) + "\" t=\"s\"><v>" + std::to_string(i) + "</v></c>";
    }
    const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    WriteZip(path, {{"xl/workbook.xml", "<?xml version=\"1.0\"?><workbook " + ns + "><sheets/></workbook>"},
                    {"xl/sharedStrings.xml", "<?xml version=\"1.0\"?><sst " + ns + ">" + strings + "</sst>"},
                    {"xl/worksheets/sheet1.xml", "<?xml version=\"1.0\"?><worksheet " + ns +
                                                     "><sheetData><row r=\"1\">" + row +
                                                     "<c r=\"B1\"><v>31415</v></c></row></sheetData></worksheet>"}});
}

void WritePptx(const std::string& path, const std::vector<std::string>& slides) {
    std::vector<std::pair<std::string, std::string>> entries = {
        {"ppt/presentation.xml", "<?xml version=\"1.0\"?><p:presentation "
                                 "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"/>"}};
    for (std::size_t i = 0; i < slides.size(); ++i) {
        entries.emplace_back("ppt/slides/slide" + std::to_string(i + 1) + ".xml",
                             "<?xml version=\"1.0\"?><p:sld "
                             "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
                             "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><p:cSld><p:spTree>"
                             "<p:sp><p:txBody><a:p><a:r><a:t>" +
                                 Escaped(slides[i]) + "</a:t></a:r></a:p></p:txBody></p:sp></p:spTree></p:cSld></p:sld>");
    }
    WriteZip(path, entries);
}

} // namespace mwdx::test
