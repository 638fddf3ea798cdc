#pragma once

// How text becomes the terms of the content index, and queries the terms to look for. Every text
// is folded the same way first (compatibility forms, case and accents: "Ｃａｆé" is "cafe"), then:
// runs of letters and digits are words; runs of Chinese, Japanese and Korean characters (white
// space inside a run does not end it, since extracted text breaks lines anywhere) become
// overlapping pairs of characters plus their last character alone, so that a query of any length
// finds them: one character as a prefix of the pairs, two as one pair, more as a phrase of pairs.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mwdx {

enum class TokenKind {
    kWord, // letters and digits (at most kMaxWordChars of them; a longer run goes on as the next word)
    kPair, // two characters of a CJK run
    kLast, // the last character of a CJK run, alone
};

inline constexpr std::size_t kMaxWordChars = 64;

// One term with the bytes of the original text it came from: [begin, end). For a pair, `split`
// is where its second character starts.
struct Token {
    std::string text; // folded, UTF-8
    TokenKind kind = TokenKind::kWord;
    std::size_t begin = 0;
    std::size_t split = 0;
    std::size_t end = 0;
};

// Calls `take` with each token of `text` (UTF-8; invalid bytes separate), in the order of the text,
// until it returns false. `bridgeSpaces`: white space between two CJK characters does not end their
// run (what documents want; a query's spaces separate its words).
void ForEachToken(std::string_view text, bool bridgeSpaces, const std::function<bool(const Token&)>& take);

// The terms of a document for the index: its tokens' texts, separated by single spaces.
std::string IndexTerms(std::string_view text);

// `text` folded as the tokens are: compatibility forms, case and accents; everything else, white
// space and punctuation included, as it was. For a plain scan to compare the index with.
std::string FoldText(std::string_view text);

// True for a code point folded by FoldText that belongs to a CJK run.
bool IsCjkCodePoint(char32_t c);

// True for a code point folded by FoldText that is part of a word.
bool IsWordCodePoint(char32_t c);

// One thing a query asks for: every one must be in a document for it to match.
struct QueryTerm {
    std::vector<Token> tokens; // in order: one word, a CJK run's pairs, or a quoted phrase's tokens
    bool prefix = false;       // the last token may be the start of a longer one
    bool phrase = false;       // from quotes
};

struct ParsedQuery {
    std::vector<QueryTerm> terms;
    bool Empty() const { return terms.empty(); }
};

// Words in any order (the last one, unless a space follows it, a prefix), "quoted phrases", CJK
// of any length. Punctuation outside quotes separates words; a quote left open runs to the end.
ParsedQuery ParseQuery(std::string_view query);

// The query in FTS5's syntax over the index terms: each term quoted, all of them required.
std::string FtsExpression(const ParsedQuery& query);

} // namespace mwdx
