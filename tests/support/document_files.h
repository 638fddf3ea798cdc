#pragma once

// Real documents for the content index's tests, written at test time: PDFs by a small writer of
// our own (text in the standard Helvetica font, anything beyond ASCII through a CID font whose
// ToUnicode map says what each glyph is, as PDFs made from Chinese documents do), and office files
// as the zip archives they are, through libzip. For the tests and the benchmarks.

#include <string>
#include <utility>
#include <vector>

namespace mwdx::test {

// A PDF with one page per entry, each page's text in lines ('\n' between them). An empty page has
// no text at all, as a scanned page has none.
std::string PdfBytes(const std::vector<std::string>& pages);

// Writes a zip archive at `path` holding the given (name, content) entries, stored deflated.
// Throws std::runtime_error when it cannot (so does each writer below).
void WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries);

// An OpenDocument text (.odt) whose paragraphs are the lines of `text`.
void WriteOdt(const std::string& path, const std::string& text);
// A Word document (.docx) whose paragraphs are the lines of `text`.
void WriteDocx(const std::string& path, const std::string& text);
// A workbook (.xlsx) with the given cells of one sheet, as shared strings.
void WriteXlsx(const std::string& path, const std::vector<std::string>& cells);
// A presentation (.pptx) with one slide per entry.
void WritePptx(const std::string& path, const std::vector<std::string>& slides);

} // namespace mwdx::test
