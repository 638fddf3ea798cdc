#pragma once

// What reading one document's file gives: its text, or why there is none. Shared by the extraction
// worker, which fills it, and the index, which keeps it.

#include <cstdint>
#include <string>

namespace mwdx {

// Why a document's text is not (or not wholly) in the index. Stored in the index file: the values
// never change meaning.
enum class SkipReason : std::int32_t {
    kNone = 0,
    kEncrypted = 1,    // a password is needed to read it
    kMalformed = 2,    // damaged, or not what its kind of file should be; the reader gave up on it
    kTooBig = 3,       // over the page or character limit: only the beginning is indexed
    kEmpty = 4,        // no text in it
    kUnknownType = 5,  // not a kind of file the program reads
    kNotSupported = 6, // legacy Word, Excel or PowerPoint files
    kNoTextLayer = 7,  // a PDF of scanned pages: pages without text
    kTimeLimit = 8,    // reading it took longer than the limit and was stopped
    kUnreadable = 9,   // the file cannot be opened
    kMissing = 10,     // no file at the document's path
    kImage = 11,       // a picture (scanned pages are not read)
};

// The string id that says why, in the user's language.
int SkipReasonText(SkipReason reason);

// Stored too: whether page numbers mean anything.
enum class DocFormat : std::int32_t {
    kNone = 0,
    kPdf = 1,
    kOpenDocument = 2,
    kOfficeOpenXml = 3,
    kPlainText = 4,
    kHtml = 5,
};

struct Extraction {
    SkipReason reason = SkipReason::kNone; // kNone or kTooBig come with text
    DocFormat format = DocFormat::kNone;
    std::int32_t pages = 0; // PDF pages read; pages are separated by a form feed in `text`
    std::string text;       // UTF-8
};

// The limits of one file's reading.
struct ExtractionLimits {
    int seconds = 30;
    std::int32_t pages = 1000;
    std::int64_t chars = 2'000'000;
};

} // namespace mwdx
