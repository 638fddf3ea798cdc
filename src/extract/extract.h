#pragma once

// Reading a document's text, in the extraction worker only: the libraries that parse PDF and
// office files never run inside the window's process.

#include "textindex/extraction.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mwdx {

// The text of the file at `path`, its kind told by its first bytes (and, for text files, its
// name), or why there is none. Never throws.
Extraction ExtractFile(const std::string& path, const ExtractionLimits& limits);

// Text gathered up to a number of characters: past it, nothing more is taken and Full() is true.
class TextSink final {
public:
    explicit TextSink(std::int64_t maxChars) : m_left(maxChars) {}
    // Appends valid UTF-8 (or as much of it as the limit allows, never splitting a character).
    void Append(std::string_view utf8);
    void Append(char c) { Append(std::string_view(&c, 1)); }
    bool Full() const { return m_full; }
    // Ends the current line unless it is already ended (or nothing was written).
    void EndLine();
    std::string& Text() { return m_text; }

private:
    std::string m_text;
    std::int64_t m_left;
    bool m_full = false;
};

// Whether `text` holds anything but white space and control characters.
bool HasVisibleText(std::string_view text);

// The readers, each filling `out` (format, pages, text, reason) for a file known to be its kind.
void ExtractPdf(const std::string& path, const ExtractionLimits& limits, Extraction& out);
void ExtractZipOffice(const std::string& path, const ExtractionLimits& limits, bool ooxmlByName, Extraction& out);
// `bytes`: the file's first bytes (at most what the limits allow), `whole`: whether that is all.
void ExtractPlainText(std::string_view bytes, bool whole, bool html, const ExtractionLimits& limits, Extraction& out);

} // namespace mwdx
