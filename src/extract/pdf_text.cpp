#include "extract/extract.h"

#include <algorithm>
#include <memory>
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

namespace mwdx {

void ExtractPdf(const std::string& path, const ExtractionLimits& limits, Extraction& out) {
    out.format = DocFormat::kPdf;
    // Poppler reports every oddity of a damaged file on stderr; the reason recorded says enough.
    poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
    const std::unique_ptr<poppler::document> document(poppler::document::load_from_file(path));
    if (!document) {
        out.reason = SkipReason::kMalformed;
        return;
    }
    if (document->is_locked()) {
        out.reason = SkipReason::kEncrypted;
        return;
    }
    const int pages = document->pages();
    if (pages <= 0) {
        out.reason = SkipReason::kMalformed;
        return;
    }
    TextSink sink(limits.chars);
    const int read = std::min(pages, limits.pages);
    for (int i = 0; i < read && !sink.Full(); ++i) {
        if (i > 0) {
            sink.Append('\f');
        }
        const std::unique_ptr<poppler::page> page(document->create_page(i));
        if (!page) {
            continue;
        }
        const poppler::byte_array bytes = page->text().to_utf8();
        std::string text(bytes.data(), bytes.size());
        // Poppler ends a page with a form feed of its own; form feeds are ours, one between pages.
        std::replace(text.begin(), text.end(), '\f', '\n');
        sink.Append(text);
        out.pages = i + 1;
    }
    out.text = std::move(sink.Text());
    if (pages > limits.pages || sink.Full()) {
        out.reason = SkipReason::kTooBig;
    }
}

} // namespace mwdx
