#include "textindex/snippet.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace mwdx {

namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// `at` moved back by `chars` characters (never before 0).
std::size_t BackChars(std::string_view text, std::size_t at, std::size_t chars) {
    while (at > 0 && chars > 0) {
        --at;
        while (at > 0 && IsContinuation(text[at])) {
            --at;
        }
        --chars;
    }
    return at;
}

std::size_t ForwardChars(std::string_view text, std::size_t at, std::size_t chars) {
    while (at < text.size() && chars > 0) {
        ++at;
        while (at < text.size() && IsContinuation(text[at])) {
            ++at;
        }
        --chars;
    }
    return at;
}

bool TokenMatches(const Token& wanted, const Token& seen, bool prefix) {
    if (prefix) {
        return std::string_view(seen.text).starts_with(wanted.text);
    }
    return seen.text == wanted.text;
}

struct Range {
    std::size_t begin;
    std::size_t end;
};

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// How far a cut moves to fall between two words rather than inside one.
constexpr std::size_t kWordReach = 16;

// `at` moved back to the start of the word it falls in, when that start is near; else `at`.
std::size_t StartOfWord(std::string_view text, std::size_t at) {
    std::size_t probe = at;
    for (std::size_t steps = 0; probe > 0 && !IsSpace(text[probe - 1]); ++steps) {
        if (steps == kWordReach) {
            return at;
        }
        probe = BackChars(text, probe, 1);
    }
    return probe;
}

// `at` moved on to the end of the word it falls in, when that end is near; else `at`.
std::size_t EndOfWord(std::string_view text, std::size_t at) {
    std::size_t probe = at;
    for (std::size_t steps = 0; probe < text.size() && !IsSpace(text[probe]); ++steps) {
        if (steps == kWordReach) {
            return at;
        }
        probe = ForwardChars(text, probe, 1);
    }
    return probe;
}

} // namespace

Snippet MakeSnippet(std::string_view text, const ParsedQuery& query, std::size_t chars) {
    Snippet snippet;
    std::vector<Token> seen; // the last tokens, as many as the longest term has
    std::size_t longest = 1;
    for (const QueryTerm& term : query.terms) {
        longest = std::max(longest, term.tokens.size());
    }
    std::vector<Range> matches;
    std::size_t windowBegin = 0;
    std::size_t windowEnd = std::numeric_limits<std::size_t>::max();
    const std::size_t before = chars / 3;
    ForEachToken(text, true, [&](const Token& token) {
        if (token.begin >= windowEnd) {
            return false;
        }
        seen.push_back(token);
        if (seen.size() > 2 * longest + 8) {
            seen.erase(seen.begin(), seen.end() - static_cast<std::ptrdiff_t>(longest));
        }
        for (const QueryTerm& term : query.terms) {
            const std::size_t count = term.tokens.size();
            if (count == 0 || count > seen.size()) {
                continue;
            }
            const std::size_t first = seen.size() - count;
            bool all = true;
            for (std::size_t k = 0; k < count && all; ++k) {
                all = TokenMatches(term.tokens[k], seen[first + k], term.prefix && k + 1 == count);
            }
            if (!all) {
                continue;
            }
            const Token& last = seen.back();
            // One character asked for, found as the first of a pair: only that character is marked.
            const bool halfPair = term.prefix && last.kind == TokenKind::kPair &&
                                  term.tokens.back().kind != TokenKind::kWord &&
                                  term.tokens.back().text.size() < last.text.size();
            matches.push_back({seen[first].begin, halfPair ? last.split : last.end});
            if (!snippet.found) {
                snippet.found = true;
                snippet.offset = seen[first].begin;
                windowBegin = BackChars(text, snippet.offset, before);
                windowEnd = ForwardChars(text, windowBegin, chars);
            }
        }
        return true;
    });
    if (!snippet.found) {
        windowBegin = 0;
        windowEnd = ForwardChars(text, 0, chars);
    }
    windowEnd = std::min(windowEnd, text.size());
    // Whole words at both ends, where a word is short enough to take in.
    windowBegin = StartOfWord(text, windowBegin);
    windowEnd = EndOfWord(text, windowEnd);
    snippet.page = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(
                                                                                  snippet.found ? snippet.offset : 0),
                                                   '\f'));
    std::sort(matches.begin(), matches.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
    // Copy the window with white space runs made one space, marking as it goes.
    std::string& out = snippet.text;
    if (windowBegin > 0) {
        out += "\u2026";
    }
    std::size_t nextMatch = 0;
    Highlight open;
    std::size_t openEnd = 0;
    bool inside = false;
    bool lastWasSpace = windowBegin == 0;
    for (std::size_t i = windowBegin; i <= windowEnd; ++i) {
        if (inside && i >= openEnd) {
            open.length = out.size() - open.begin;
            if (open.length > 0) {
                snippet.highlights.push_back(open);
            }
            inside = false;
        }
        while (!inside && nextMatch < matches.size() && matches[nextMatch].end <= i) {
            ++nextMatch;
        }
        if (!inside && nextMatch < matches.size() && matches[nextMatch].begin <= i) {
            open.begin = out.size();
            openEnd = std::min(matches[nextMatch].end, windowEnd);
            // Overlapping matches make one mark.
            while (nextMatch + 1 < matches.size() && matches[nextMatch + 1].begin < openEnd) {
                ++nextMatch;
                openEnd = std::max(openEnd, std::min(matches[nextMatch].end, windowEnd));
            }
            ++nextMatch;
            inside = true;
        }
        if (i == windowEnd) {
            break;
        }
        if (IsSpace(text[i])) {
            if (!lastWasSpace) {
                out.push_back(' ');
            }
            lastWasSpace = true;
        } else {
            out.push_back(text[i]);
            lastWasSpace = false;
        }
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    if (windowEnd < text.size()) {
        out += "\u2026";
    }
    for (Highlight& highlight : snippet.highlights) {
        highlight.length = std::min(highlight.length, out.size() - highlight.begin);
    }
    return snippet;
}

} // namespace mwdx
