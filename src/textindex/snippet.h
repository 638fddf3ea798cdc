#pragma once

// The piece of a document's text shown under a content match: a few words around the first place
// the query matches, with every match inside it marked.

#include "textindex/tokens.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mwdx {

struct Highlight {
    std::size_t begin = 0;  // bytes into Snippet::text
    std::size_t length = 0; // bytes
};

struct Snippet {
    std::string text;                   // UTF-8; white space runs are one space; "…" where cut
    std::vector<Highlight> highlights;  // in order, not overlapping
    bool found = false;                 // false: the query matches nowhere; text is the document's start
    std::size_t offset = 0;             // the first match's first byte in the document's text
    int page = 1;                       // the page of the first match: form feeds before it, plus one
};

// Looks for `query`'s terms in `text` as the index would find them (the same tokens) and cuts a
// snippet of about `chars` characters around the first place one occurs, about a third of them
// before it.
Snippet MakeSnippet(std::string_view text, const ParsedQuery& query, std::size_t chars = 160);

} // namespace mwdx
